#include "package/ImageDigestCheck.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "package/PackageReader.h"
#include "payload/PackageFileLayout.h"
#include "sys/Sha256.h"

namespace {

using payload::ImageDigests;

// Banks whose bytes the download sends; zero when there is nothing to check: no firmware, or
// banks that the program stops at before any command.
int BanksToCheck(const PackageReader& package)
{
    if (package.ImageHoldsPlaceholder() || package.CheckBounds().fault != PackageFault::None) return 0;
    return std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
}

bool BankDigest(const PackageReader& package, int bank, sys::Sha256Digest& digest)
{
    const auto start = static_cast<std::size_t>(package.BinStart(bank));
    const auto size = static_cast<std::size_t>(package.BinSize(bank));
    return sys::Sha256(std::span<const uint8_t>(package.ImageArea() + start, size), digest);
}

bool RecordsNothing(const ImageDigests& record)
{
    return std::all_of(std::begin(record.recorded), std::end(record.recorded), [](uint8_t b) { return b == 0; });
}

}  // namespace

DigestCheck CheckImageDigests(const uint8_t* block, const uint8_t* digests)
{
    const PackageReader package(block);
    const int banks = BanksToCheck(package);
    if (banks == 0) return {DigestState::NotApplicable};
    if (digests == nullptr) return {DigestState::NoneRecorded};
    ImageDigests record;
    std::memcpy(&record, digests, sizeof record);
    if (std::memcmp(record.magic, payload::kDigestMagic.data(), sizeof record.magic) != 0)
        return {DigestState::Damaged};
    if (RecordsNothing(record)) return {DigestState::NoneRecorded};
    // A record that leaves out a bank in use, or names one that is not, was not written for
    // this package.
    for (int bank = 0; bank < payload::kBankCount; ++bank) {
        if (record.recorded[bank] != (bank < banks ? 1 : 0)) return {DigestState::Damaged, bank};
    }
    for (int bank = 0; bank < banks; ++bank) {
        sys::Sha256Digest digest{};
        if (!BankDigest(package, bank, digest)) return {DigestState::Damaged, bank};
        if (std::memcmp(digest.data(), record.sha256[bank], digest.size()) != 0) return {DigestState::Mismatch, bank};
    }
    return {DigestState::Matching};
}

bool RecordImageDigests(const uint8_t* block, uint8_t* digests)
{
    const PackageReader package(block);
    ImageDigests record{};
    std::memcpy(record.magic, payload::kDigestMagic.data(), sizeof record.magic);
    std::memcpy(digests, &record, sizeof record);
    const int banks = BanksToCheck(package);
    if (banks == 0 && !package.ImageHoldsPlaceholder()) return false;
    for (int bank = 0; bank < banks; ++bank) {
        sys::Sha256Digest digest{};
        if (!BankDigest(package, bank, digest)) return false;
        std::memcpy(record.sha256[bank], digest.data(), digest.size());
        record.recorded[bank] = 1;
    }
    std::memcpy(digests, &record, sizeof record);
    return true;
}

std::string DigestRefusal(const DigestCheck& check)
{
    const std::string bank = "bank " + std::to_string(check.bank + 1);
    switch (check.state) {
    case DigestState::Mismatch:
        return "the image of " + bank +
               " does not match the SHA-256 digest recorded when it was packed: the package is damaged; "
               "get it again";
    case DigestState::Damaged:
        return "its record of image digests is damaged" + (check.bank >= 0 ? " (at " + bank + ")" : std::string()) +
               ": the images cannot be checked; get the package again";
    default: return "";
    }
}
