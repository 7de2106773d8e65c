// The virtual drive's text form and fault parser on any text, and the drive they describe
// answering command blocks from the input. Input: the setup text up to the first line break,
// a fault text up to the second, then command records of kCommandRecordSize bytes (at most
// kMaxCommands of them).
//
// A refused text must leave the setup as it was and give a reason; an accepted one must give
// fields the drive can use. The drive must stay inside the host's buffer (each command gets a
// heap buffer of exactly its transfer length) and answer as its header says.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/Check.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

// A command record: the 12-byte block, the direction (low two bits, 3 read as none; bit 2 sets
// a one-second time-out) and the host's transfer length (two bytes, big-endian).
constexpr std::size_t kCommandRecordSize = platform::kCdbSize + 3;
constexpr int kMaxCommands = 64;

bool Terminated(const char* field, std::size_t size) { return std::memchr(field, '\0', size) != nullptr; }

std::string_view NextLine(std::string_view& rest)
{
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    return line;
}

void CheckFault(const sim::Fault& fault)
{
    FUZZ_CHECK(fault.number >= 1);
    FUZZ_CHECK(fault.kind <= sim::FaultKind::ShortTransfer && fault.trigger <= sim::FaultTrigger::Sequence);
    FUZZ_CHECK(fault.senseKey <= 0x0F);
    FUZZ_CHECK(fault.replyOffset < sim::kDriveBufferSize);
    FUZZ_CHECK(fault.bytesMoved <= sim::kDriveBufferSize);
    FUZZ_CHECK(fault.seconds >= 0.0 && fault.seconds <= 1e9);
}

void CheckSetup(const sim::DriveSetup& setup)
{
    const sim::DriveConfig& drive = setup.drive;
    FUZZ_CHECK(Terminated(drive.vendor, sizeof drive.vendor) && Terminated(drive.product, sizeof drive.product));
    FUZZ_CHECK(Terminated(drive.revision, sizeof drive.revision) &&
               Terminated(drive.newRevision, sizeof drive.newRevision));
    FUZZ_CHECK(Terminated(drive.damagedRevision, sizeof drive.damagedRevision) &&
               Terminated(drive.serial, sizeof drive.serial) && drive.serial[0] != '\0');
    FUZZ_CHECK(Terminated(setup.root, sizeof setup.root));
    FUZZ_CHECK(drive.imageSize >= 1 && drive.imageSize <= sim::kDriveBufferSize);
    for (int16_t part : {setup.address.host, setup.address.path, setup.address.target, setup.address.lun}) {
        FUZZ_CHECK(part >= 0 && part <= 255);
    }
    FUZZ_CHECK(setup.faultCount >= 0 && setup.faultCount <= sim::kMaxFaults);
    for (int i = 0; i < setup.faultCount; ++i) CheckFault(setup.faults[i]);
}

// Parses text over a setup that already holds something: a refusal must leave it as it was.
bool ParseSetup(std::string_view text, sim::DriveSetup& setup)
{
    std::strcpy(setup.root, "/before");
    setup.faultCount = 1;
    std::string reason;
    if (!sim::ParseDriveSetup(text, setup, reason)) {
        FUZZ_CHECK(!reason.empty());
        FUZZ_CHECK(std::strcmp(setup.root, "/before") == 0 && setup.faultCount == 1);
        return false;
    }
    CheckSetup(setup);
    return true;
}

void ParseOneFault(std::string_view text)
{
    sim::Fault fault;
    fault.number = 77;
    std::string reason;
    if (sim::ParseFault(text, fault, reason)) {
        CheckFault(fault);
    } else {
        FUZZ_CHECK(!reason.empty() && fault.number == 77);
    }
}

void RunCommands(const sim::DriveSetup& setup, std::string_view records)
{
    sim::VirtualDrive drive(setup.drive);
    for (int i = 0; i < setup.faultCount; ++i) FUZZ_CHECK(drive.AddFault(setup.faults[i]));

    int commands = 0;
    for (; records.size() >= kCommandRecordSize && commands < kMaxCommands; ++commands) {
        const auto* record = reinterpret_cast<const uint8_t*>(records.data());
        records.remove_prefix(kCommandRecordSize);

        sim::CommandRequest request{};
        std::memcpy(request.cdb, record, platform::kCdbSize);
        request.direction = static_cast<platform::DataDirection>((record[12] & 0x03) % 3);
        request.timeoutSeconds = (record[12] & 0x04) != 0 ? 1.0 : 0.0;
        request.length = (uint32_t{record[13]} << 8) | record[14];
        const std::unique_ptr<uint8_t[]> data(request.length > 0 ? new uint8_t[request.length] : nullptr);
        if (data) std::memset(data.get(), record[12], request.length);
        request.data = data.get();

        const sim::CommandReply reply = drive.Execute(request);
        FUZZ_CHECK(reply.transferred <= request.length);
        FUZZ_CHECK(reply.delivered || (!reply.hasSense && reply.transferred == 0));
        // Fixed sense, or descriptor sense once a host has asked for it.
        FUZZ_CHECK(!reply.hasSense || ((reply.sense[0] == 0x70 || reply.sense[0] == 0x72) && reply.transferred == 0));
        FUZZ_CHECK(reply.seconds >= 0.0);
        FUZZ_CHECK(request.timeoutSeconds == 0.0 || reply.seconds <= request.timeoutSeconds);
    }
    FUZZ_CHECK(drive.commandCount() == static_cast<uint32_t>(commands));
    FUZZ_CHECK(drive.trace().size() == static_cast<std::size_t>(commands));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view setupText = NextLine(rest);
    const std::string_view faultText = NextLine(rest);

    ParseOneFault(faultText);
    sim::DriveSetup setup;
    if (ParseSetup(setupText, setup)) RunCommands(setup, rest);
    return 0;
}
