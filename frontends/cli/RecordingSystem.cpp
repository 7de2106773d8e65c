#include "frontends/cli/RecordingSystem.h"

#if NORVIK_SENSE_IN_WORDS
#include <scsi/sg_lib.h>
#endif

#include <algorithm>
#include <cstring>
#include <string_view>

#include "frontends/cli/CliOptions.h"
#include "scsi/Opcodes.h"
#include "scsi/Sense.h"
#include "scsi/TraceLine.h"

namespace cli {

namespace {

// The sense in words (" (key: additional sense)"), where the system has the tables for it.
void AppendSenseInWords(char* line, std::size_t size, std::size_t used, unsigned key, unsigned asc, unsigned ascq)
{
#if NORVIK_SENSE_IN_WORDS
    char keyText[64];
    char additional[128];
    sg_get_sense_key_str(static_cast<int>(key), sizeof keyText, keyText);
    sg_get_asc_ascq_str(static_cast<int>(asc), static_cast<int>(ascq), sizeof additional, additional);
    constexpr std::string_view kPrefix = "Additional sense: ";
    const char* words = std::strncmp(additional, kPrefix.data(), kPrefix.size()) == 0 ? additional + kPrefix.size()
                                                                                      : additional;
    scsi::AppendToLine(line, size, used, " (%s: %s)", keyText, words);
#else
    (void)line, (void)size, (void)used, (void)key, (void)asc, (void)ascq;
#endif
}

// The commands' names as SCSI calls them; the vendor command by its function byte.
std::string_view CommandName(const uint8_t* cdb, char (&unknown)[24])
{
    namespace op = scsi::opcode;
    switch (cdb[0]) {
    case op::kTestUnitReady: return "TEST UNIT READY";
    case op::kRequestSense: return "REQUEST SENSE";
    case op::kInquiry: return "INQUIRY";
    case op::kStartStopUnit: return "START STOP UNIT";
    case op::kReadCapacity10: return "READ CAPACITY";
    case op::kWriteBuffer: return "WRITE BUFFER";
    case op::kReadBuffer: return "READ BUFFER";
    case op::kGetEventStatusNotification: return "GET EVENT STATUS NOTIFICATION";
    case op::kReportLuns: return "REPORT LUNS";
    case op::kModeSelect6:
    case op::kModeSelect10: return "MODE SELECT";
    case op::kModeSense6:
    case op::kModeSense10: return "MODE SENSE";
    case op::kGetConfiguration: return "GET CONFIGURATION";
    case op::kPreventAllowMediumRemoval: return "PREVENT ALLOW MEDIUM REMOVAL";
    case op::kRead10:
    case op::kRead12: return "READ";
    case op::kReadTocPmaAtip: return "READ TOC";
    case op::kMechanismStatus: return "MECHANISM STATUS";
    case op::kVendorCommand:
        if (cdb[1] == op::kFlashIdentification) return "FLASH IDENTIFICATION (vendor DFh)";
        std::snprintf(unknown, sizeof unknown, "vendor DFh/%02Xh", cdb[1]);
        return unknown;
    default: break;
    }
    std::snprintf(unknown, sizeof unknown, "opcode %02Xh", cdb[0]);
    return unknown;
}

}  // namespace

void FormatCommandSummary(const char* root, const platform::PassThroughRequest& request, bool delivered, char* line,
                          std::size_t size)
{
    // The trace line's outcome is what follows its block, direction and length.
    char traced[256];
    FormatCommandLine("", request, delivered, true, traced, sizeof traced);
    const char* outcome = traced;
    for (int field = 0; field < 4 && outcome != nullptr; ++field) {
        outcome = std::strchr(outcome, ' ');
        if (outcome != nullptr) ++outcome;
    }
    char unknown[24];
    const std::string_view name = CommandName(request.cdb, unknown);
    scsi::AppendToLine(line, size, 0, "%s %.*s %s", root, static_cast<int>(name.size()), name.data(),
                       outcome != nullptr ? outcome : "?");
}

void FormatCommandLine(const char* root, const platform::PassThroughRequest& request, bool delivered, bool inWords,
                       char* line, std::size_t size)
{
    static_assert(sizeof request.cdb == scsi::kTraceCdbSize);
    scsi::TracedCommand command;
    command.cdb = request.cdb;
    command.direction = request.direction;
    command.length = request.length;
    command.delivered = delivered;
    command.transferred = request.transferred;
    command.sense = request.sense;
    command.senseLength = platform::kSenseSize;
    std::size_t used = scsi::AppendToLine(line, size, 0, "%s ", root);
    used += scsi::WriteTraceLine(command, line + used, size - used);
    scsi::SenseFields sense;
    if (inWords && delivered && scsi::NormaliseSense(request.sense, platform::kSenseSize, sense))
        AppendSenseInWords(line, size, used, sense.key, sense.asc, sense.ascq);
}

RecordingSystem::RecordingSystem(platform::System& system, std::FILE* trace, std::FILE* verbose, std::FILE* messages)
    : system(system), trace(trace), verbose(verbose), messages(messages)
{}

// "<program>: <caption>: <text>", the text's line breaks turned into spaces so that a script
// reading standard error gets one line per message.
void RecordingSystem::ShowMessage(const char* text, const char* caption, platform::MessageIcon)
{
    if (messages == nullptr) return;
    std::lock_guard lock(mutex);
    const std::string_view title = caption != nullptr ? caption : "";
    // A caption that ends in its own colon ("GetASPISupportInfo:") gets no second one.
    const bool ownColon = !title.empty() && title.back() == ':';
    std::fprintf(messages, "%s: %.*s%s ", ProgramName(), static_cast<int>(title.size()), title.data(),
                 ownColon ? "" : ":");
    for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) std::fputc(*c == '\n' ? ' ' : *c, messages);
    std::fputc('\n', messages);
    std::fflush(messages);
}

bool RecordingSystem::QueryPlatformId(uint32_t& platformId)
{
    constexpr uint32_t kPlatformIdWindows = 1;  // the family before NT
    if (!notNt) return system.QueryPlatformId(platformId);
    platformId = kPlatformIdWindows;
    return true;
}

platform::DriveHandle RecordingSystem::OpenDrive(const char* root)
{
    const platform::DriveHandle drive = system.OpenDrive(root);
    Remember(drive, root);
    return drive;
}

platform::DriveHandle RecordingSystem::OpenDriveExclusive(const char* root, char (&refusal)[platform::kRefusalSize])
{
    const platform::DriveHandle drive = system.OpenDriveExclusive(root, refusal);
    Remember(drive, root);
    return drive;
}

void RecordingSystem::CloseDrive(platform::DriveHandle drive)
{
    {
        const std::lock_guard lock(mutex);
        for (OpenDriveRoot& entry : open)
            if (entry.handle == drive) entry.handle = platform::kInvalidDriveHandle;
    }
    system.CloseDrive(drive);
}

bool RecordingSystem::SendPassThrough(platform::DriveHandle drive, platform::PassThroughRequest& request)
{
    const bool delivered = system.SendPassThrough(drive, request);
    if (transfers != nullptr) transfers->Note(request, delivered);
    if (trace == nullptr && verbose == nullptr) return delivered;
    char root[platform::kRootPathSize];
    RootOf(drive, root);
    char line[256];
    if (trace != nullptr) {
        FormatCommandLine(root, request, delivered, false, line, sizeof line);
        // One call per line (stdio locks each call), flushed: a run that is killed keeps it.
        std::fprintf(trace, "%s\n", line);
        std::fflush(trace);
    }
    if (verbose != nullptr) {
        if (verbosity >= kVerboseBlocks)
            FormatCommandLine(root, request, delivered, true, line, sizeof line);
        else
            FormatCommandSummary(root, request, delivered, line, sizeof line);
        std::fprintf(verbose, "%s: %s\n", ProgramName(), line);
    }
    return delivered;
}

void RecordingSystem::Remember(platform::DriveHandle drive, const char* root)
{
    if (drive == platform::kInvalidDriveHandle) return;
    const std::lock_guard lock(mutex);
    for (OpenDriveRoot& entry : open) {
        if (entry.handle != platform::kInvalidDriveHandle && entry.handle != drive) continue;
        entry.handle = drive;
        std::snprintf(entry.root, sizeof entry.root, "%s", root != nullptr ? root : "?");
        return;
    }
}

void RecordingSystem::RootOf(platform::DriveHandle drive, char (&root)[platform::kRootPathSize])
{
    const std::lock_guard lock(mutex);
    for (const OpenDriveRoot& entry : open) {
        if (entry.handle != drive) continue;
        std::memcpy(root, entry.root, sizeof root);
        return;
    }
    std::snprintf(root, sizeof root, "?");
}

}  // namespace cli
