// The flash profile step of the download: ask the drive for its flash chip, find the profile
// for it and send it framed by its header. The profiles themselves are payload; nothing here
// reads their bytes.

#include "flash/FlashProfiles.h"

#include <algorithm>
#include <cstring>

#include "device/AtapiDevice.h"
#include "payload/ProfileStore.h"
#include "scsi/Answers.h"

namespace flash {

namespace {

// The row's profile from the store; null when it does not fit in destination.
uint8_t* CopyProfile(const uint8_t* store, int row, std::span<uint8_t> destination)
{
    const uint32_t length = ProfileLength(row);
    if (destination.size() < length) return nullptr;
    std::memcpy(destination.data(), store + ProfileStoreOffset(row), length);
    return destination.data();
}

}  // namespace

std::optional<int> FindProfileRow(uint8_t manufacturer, uint8_t device, uint8_t variantHigh, uint8_t variantLow)
{
    const uint8_t key[payload::kProfileKeySize] = {manufacturer, device, variantHigh, variantLow};
    for (int row = 0; row < kProfileRowCount; ++row) {
        if (std::equal(std::begin(key), std::end(key), kFlashProfileTable[row])) return row;
    }
    return std::nullopt;
}

uint8_t* FetchProfile(const uint8_t* store, uint8_t manufacturer, uint8_t device, uint8_t variantHigh,
                      uint8_t variantLow, std::span<uint8_t> destination)
{
    const std::optional<int> row = FindProfileRow(manufacturer, device, variantHigh, variantLow);
    if (!row) return nullptr;
    return CopyProfile(store, *row, destination);
}

uint8_t* FetchProfile(uint8_t manufacturer, uint8_t device, uint8_t variantHigh, uint8_t variantLow,
                      std::span<uint8_t> destination)
{
    return FetchProfile(payload::ProfileStoreInUse(), manufacturer, device, variantHigh, variantLow, destination);
}

}  // namespace flash

namespace {

// The profile row of the chip that a flash identification reply names.
std::optional<int> FindChipRow(const uint8_t* reply)
{
    using namespace scsi::flash_id_data;
    auto byteOf = [reply](scsi::Field field) { return static_cast<uint8_t>(scsi::Get(reply, field)); };
    return flash::FindProfileRow(byteOf(kManufacturer), byteOf(kDevice), byteOf(kVariantHigh), byteOf(kVariantLow));
}

}  // namespace

bool AtapiDevice::SendFlashProfile() { return RunFlashProfileStep() == ProfileOutcome::Sent; }

// The packet is built in outputBuffer: the header from the table row, the profile behind it,
// and zeros after it from the clearing, so an odd profile is followed by its zero byte. An
// identification that completed with an all-zero reply names no chip, like one without a row.
ProfileOutcome AtapiDevice::RunFlashProfileStep()
{
    uint8_t* packet = OutputBuffer();
    // After FreeBuffers there is nowhere to build the packet: nothing is asked or sent.
    if (packet == nullptr) return ProfileOutcome::CommandFailed;
    std::memset(packet, 0, flash::kProfileClearedBytes);
    if (!ReadFlashId())
        return lastCommand.lastStatus == scsi::kCommandGood ? ProfileOutcome::NoProfile : ProfileOutcome::CommandFailed;

    const std::optional<int> row = FindChipRow(InputBuffer());
    if (!row) return ProfileOutcome::NoProfile;

    const uint32_t headerSize = flash::ProfileHeaderSize(*row);
    std::memcpy(packet, flash::kFlashProfileTable[*row], headerSize);
    const std::span<uint8_t> behindHeader(packet + headerSize, flash::kProfileClearedBytes - headerSize);
    if (flash::CopyProfile(payload::ProfileStoreInUse(), *row, behindHeader) == nullptr)
        return ProfileOutcome::CommandFailed;
    const bool sent = WriteBuffer(flash::ProfileBufferOffset(*row), flash::ProfileTransferLength(*row),
                                  flash::ProfileControl(*row));
    return sent ? ProfileOutcome::Sent : ProfileOutcome::CommandFailed;
}
