// The journal's record of an update: one line per drive, what was asked of it and how it
// ended, with the last command a failed drive was sent.

#include <cstdio>
#include <cstring>

#include "app/UpdateSequence.h"

namespace {

// Bytes from drives and packages as journal text: anything but printable ASCII becomes '?'.
void AppendPrintable(char* text, std::size_t size, std::size_t& length, std::string_view piece)
{
    for (const char c : piece) {
        if (length + 1 >= size) break;
        text[length++] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    text[length] = '\0';
}

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

// The last command of a failed drive: its block in hex and how it ended.
void AppendLastCommand(char* text, std::size_t size, std::size_t& length, const LastCommand& last)
{
    if (length >= size) return;
    length += std::snprintf(text + length, size - length, "; last command ");
    for (const uint8_t byte : last.lastCdb) {
        if (length >= size) return;
        length += std::snprintf(text + length, size - length, "%02X", byte);
    }
    if (length >= size) return;
    if (last.lastStatus == kLastCommandSense)
        length += std::snprintf(text + length, size - length, " sense %X/%02X/%02X", last.senseKey, last.asc, last.ascq);
    else if (last.lastStatus != kLastCommandGood)
        length += std::snprintf(text + length, size - length, last.lastTimedOut ? " timed out" : " not carried out");
}

}  // namespace

// One line per drive of the update in the system's journal: what was asked, of which drive, and
// how it ended; for a failure, the last command the drive was sent.
void UpdateSequence::RecordUpdateInJournal()
{
    for (int slot = 0; slot < updateCount; ++slot) {
        const DriveOutcome& outcome = OutcomeOfSlot(slot);
        const DriveRecord* record = mainDevice != nullptr ? mainDevice->GetDrive(static_cast<uint32_t>(outcome.driveIndex)) : nullptr;
        char line[512];
        std::size_t length = static_cast<std::size_t>(std::snprintf(line, sizeof line, "Norvik %s: ", NORVIK_VERSION));
        if (record != nullptr) {
            AppendPrintable(line, sizeof line, length, std::string_view(record->rootPath, strnlen(record->rootPath, sizeof record->rootPath)));
            AppendPrintable(line, sizeof line, length, " ");
            std::string_view name(record->displayName, strnlen(record->displayName, sizeof record->displayName));
            AppendPrintable(line, sizeof line, length, name.substr(0, name.find_last_not_of(' ') + 1));
        }
        char bank[8];
        std::snprintf(bank, sizeof bank, "%d", outcome.bank + 1);
        AppendPrintable(line, sizeof line, length, ": bank ");
        AppendPrintable(line, sizeof line, length, bank);
        AppendPrintable(line, sizeof line, length, ", revision ");
        AppendPrintable(line, sizeof line, length, outcome.previousRevision);
        AppendPrintable(line, sizeof line, length, " to ");
        AppendPrintable(line, sizeof line, length, package.NewRevisionForComparison(outcome.bank));
        AppendPrintable(line, sizeof line, length, ", reports ");
        AppendPrintable(line, sizeof line, length, outcome.reportedRevision[0] != '\0' ? outcome.reportedRevision : "nothing");
        AppendPrintable(line, sizeof line, length, ": ");
        AppendPrintable(line, sizeof line, length, VerdictWords(outcome.verdict));
        const bool failed = outcome.verdict != DriveVerdict::Updated;
        // A drive not started may have had no device object, so no command to tell of.
        if (failed && outcome.verdict != DriveVerdict::NotStarted)
            AppendLastCommand(line, sizeof line, length, outcome.lastCommand);
        system.RecordInJournal(failed, line);
    }
}

