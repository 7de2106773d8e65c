// The journal's record of an update: one line per drive, what was asked of it and how it
// ended, with the last command a failed drive was sent.

#include <cstdio>
#include <cstring>

#include "update/FixedText.h"
#include "update/UpdateSequence.h"

namespace {

const char* VerdictWords(DriveVerdict verdict)
{
    switch (verdict) {
    case DriveVerdict::NotStarted: return "not updated: the drive could not be opened or its bank is unusable";
    case DriveVerdict::GivenUp: return "given up during the disc and tray check";
    case DriveVerdict::DownloadFailed: return "the download failed";
    case DriveVerdict::NoAnswer: return "programmed, but its identification could not be read again";
    case DriveVerdict::WrongRevision: return "programmed, but it reports another revision";
    case DriveVerdict::Updated: break;
    }
    return "updated";
}

template <typename Text>
void AppendLastCommand(Text& line, const LastCommand& last)
{
    char hex[2 * platform::kCdbSize + 1];
    for (int i = 0; i < platform::kCdbSize; ++i) std::snprintf(hex + 2 * i, 3, "%02X", last.lastCdb[i]);
    line << "; last command " << hex;
    char ending[48] = "";
    if (last.lastStatus == scsi::kCommandSense)
        std::snprintf(ending, sizeof ending, " sense %X/%02X/%02X", last.senseKey, last.asc, last.ascq);
    else if (last.lastStatus == scsi::kCommandShort)
        std::snprintf(ending, sizeof ending, " moved %u of %u bytes", last.lastTransferred, last.lastLength);
    else if (last.lastStatus != scsi::kCommandGood)
        std::snprintf(ending, sizeof ending, "%s", last.lastTimedOut ? " timed out" : " not carried out");
    line << ending;
}

template <std::size_t N>
std::string_view FieldText(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}

}  // namespace

// One line per drive of the update in the system's journal: what was asked, of which drive, and
// how it ended; for a failure, the last command the drive was sent. Drive and package texts are
// masked to printable ASCII.
void UpdateSequence::RecordUpdateInJournal()
{
    for (int slot = 0; slot < updateCount; ++slot) {
        const DriveOutcome& outcome = OutcomeOfSlot(slot);
        const DriveRecord* record = mainDevice != nullptr
                                        ? mainDevice->GetDrive(static_cast<uint32_t>(outcome.driveIndex))
                                        : nullptr;
        FixedText<512> line;
        line << "Norvik " << NORVIK_VERSION << ": ";
        if (record != nullptr) {
            const std::string_view name = FieldText(record->displayName);
            line << FieldText(record->rootPath) << " " << name.substr(0, name.find_last_not_of(' ') + 1);
        }
        const char bank[2] = {static_cast<char>('1' + outcome.bank), '\0'};
        line << ": bank " << bank << ", revision " << FieldText(outcome.previousRevision) << " to "
             << package.NewRevisionForComparison(outcome.bank) << ", reports "
             << (outcome.reportedRevision[0] != '\0' ? FieldText(outcome.reportedRevision) : "nothing") << ": "
             << VerdictWords(outcome.verdict);
        const bool failed = outcome.verdict != DriveVerdict::Updated;
        // A drive not started may have had no device object, so no command to tell of.
        if (failed && outcome.verdict != DriveVerdict::NotStarted) AppendLastCommand(line, outcome.lastCommand);
        line.MaskUnprintable();
        system.RecordInJournal(failed, line.Terminated());
    }
}

// The firmware is in the drives, but the restart that the package asks for to finish the update
// was not made: the journal says so, and why, so that whoever reads it knows one is still due.
void UpdateSequence::RecordRestartNotMadeInJournal()
{
    FixedText<256> line;
    line << "Norvik " << NORVIK_VERSION << ": the restart after the update was not made: "
         << (restartAnswer == sys::RestartAnswer::PrivilegeNotHeld ? "this process may not restart the system"
                                                                   : "the system refused the request")
         << "; it is still due";
    system.RecordInJournal(true, line.Terminated());
}
