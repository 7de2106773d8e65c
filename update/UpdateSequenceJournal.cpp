// The journal's record of an update: one record per drive, what was asked of it and how it
// ended, with the last command a failed drive was sent; as a line and as fields.

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

// The outcome as one word for the record's field.
const char* VerdictWord(DriveVerdict verdict)
{
    switch (verdict) {
    case DriveVerdict::NotStarted: return "not-started";
    case DriveVerdict::GivenUp: return "given-up";
    case DriveVerdict::DownloadFailed: return "download-failed";
    case DriveVerdict::NoAnswer: return "no-answer";
    case DriveVerdict::WrongRevision: return "wrong-revision";
    case DriveVerdict::Updated: break;
    }
    return "updated";
}

// Text into a record's field, cut to fit and masked to printable ASCII like the line.
template <std::size_t N>
void PutField(char (&field)[N], std::string_view text)
{
    FixedText<N> fitted;
    fitted << text;
    fitted.MaskUnprintable();
    std::memcpy(field, fitted.Terminated(), fitted.View().size() + 1);
}

void PutLastCommand(platform::JournalRecord& record, const LastCommand& last)
{
    for (int i = 0; i < platform::kCdbSize; ++i) std::snprintf(record.lastCommand + 2 * i, 3, "%02X", last.lastCdb[i]);
    if (last.lastStatus == scsi::kCommandSense)
        std::snprintf(record.sense, sizeof record.sense, "%X/%02X/%02X", last.senseKey & 0xF, last.asc, last.ascq);
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

void UpdateSequence::SetPackageIdentity(std::string_view sha256Hex)
{
    FixedText<sizeof packageIdentity> identity;
    identity << sha256Hex;
    std::memcpy(packageIdentity, identity.Terminated(), identity.View().size() + 1);
}

void UpdateSequence::StartJournalRecord(platform::JournalRecord& record) const
{
    record = platform::JournalRecord{};
    PutField(record.version, NORVIK_VERSION);
    PutField(record.packageSha256, packageIdentity);
}

// One record per drive of the update in the system's journal: what was asked, of which drive,
// and how it ended; for a failure, the last command the drive was sent. Drive and package texts
// are masked to printable ASCII.
void UpdateSequence::RecordUpdateInJournal()
{
    platform::JournalRecord record;
    for (int slot = 0; slot < updateCount; ++slot) {
        const DriveOutcome& outcome = OutcomeOfSlot(slot);
        const DriveRecord* drive = mainDevice != nullptr
                                       ? mainDevice->GetDrive(static_cast<uint32_t>(outcome.driveIndex))
                                       : nullptr;
        StartJournalRecord(record);
        FixedText<512> line;
        line << "Norvik " << NORVIK_VERSION << ": ";
        if (drive != nullptr) {
            const std::string_view name = FieldText(drive->displayName);
            const std::string_view model = name.substr(0, name.find_last_not_of(' ') + 1);
            line << FieldText(drive->rootPath) << " " << model;
            PutField(record.node, FieldText(drive->rootPath));
            PutField(record.model, model);
        }
        const char bank[2] = {static_cast<char>('1' + outcome.bank), '\0'};
        line << ": bank " << bank << ", revision " << FieldText(outcome.previousRevision) << " to "
             << package.NewRevisionForComparison(outcome.bank) << ", reports "
             << (outcome.reportedRevision[0] != '\0' ? FieldText(outcome.reportedRevision) : "nothing") << ": "
             << VerdictWords(outcome.verdict);
        record.bank = static_cast<uint8_t>(outcome.bank + 1);
        PutField(record.revisionBefore, FieldText(outcome.previousRevision));
        PutField(record.revisionWanted, package.NewRevisionForComparison(outcome.bank));
        PutField(record.revisionReported, FieldText(outcome.reportedRevision));
        PutField(record.outcome, VerdictWord(outcome.verdict));
        record.failure = outcome.verdict != DriveVerdict::Updated;
        // A drive not started may have had no device object, so no command to tell of.
        if (record.failure && outcome.verdict != DriveVerdict::NotStarted) {
            AppendLastCommand(line, outcome.lastCommand);
            PutLastCommand(record, outcome.lastCommand);
        }
        line.MaskUnprintable();
        PutField(record.message, line.View());
        system.RecordInJournal(record);
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
    platform::JournalRecord record;
    StartJournalRecord(record);
    record.failure = true;
    PutField(record.outcome, "restart-not-made");
    PutField(record.message, line.View());
    system.RecordInJournal(record);
}
