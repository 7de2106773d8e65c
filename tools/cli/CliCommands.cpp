#include "tools/cli/CliCommands.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/DriveEntry.h"
#include "app/SequenceTexts.h"
#include "device/DriveRecord.h"
#include "sys/OSInfo.h"

namespace cli {

namespace {

bool UpdateUnderway(const UpdateSequence& sequence)
{
    const UpdateSequence::Phase phase = sequence.CurrentPhase();
    return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
           phase == UpdateSequence::Phase::Finishing;
}

// The workers' ends reach this thread through its event queue; each ended worker deletes itself
// through the same queue.
void WaitUntilUpdateOver(const UpdateSequence& sequence)
{
    while (UpdateUnderway(sequence)) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void DeleteEndedWorkers()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Manual mode: the drive the user named takes the place of the one selected at start-up, as a
// choice in the window's list does. False (with the reason on err) when there is no such line.
bool ChooseDrive(UpdateSequence& sequence, TerminalView& view, int drive, std::FILE* err)
{
    if (drive == kNoDriveChosen) return true;
    if (drive >= view.DriveEntryCount()) {
        std::fprintf(err, "norvik-cli: --drive %d: no such drive (%d found; see norvik-cli list)\n", drive,
                     view.DriveEntryCount());
        return false;
    }
    view.SelectDriveEntry(drive);
    sequence.cboDrivesChange();
    return true;
}

// A revision from a drive or a package, quoted, as text.
void WriteRevision(std::FILE* err, std::string_view revision)
{
    std::fputc('"', err);
    WriteAsText(err, revision, LineFeeds::Escaped);
    std::fputc('"', err);
}

void ReportDrive(const UpdateSequence& sequence, const DriveOutcome& outcome, std::FILE* err)
{
    const std::string_view expected = sequence.Package().NewRevisionForComparison(outcome.bank);
    std::fprintf(err, "norvik-cli: drive %d: ", outcome.driveIndex);
    switch (outcome.verdict) {
    case DriveVerdict::Updated:
        std::fputs("updated: it reports revision ", err);
        WriteRevision(err, expected);
        break;
    case DriveVerdict::NotStarted:
        std::fputs("not updated: the drive could not be opened or its firmware bank is unusable", err);
        break;
    case DriveVerdict::GivenUp:
        std::fputs("given up during the disc and tray check; no firmware was sent to it", err);
        break;
    case DriveVerdict::DownloadFailed:
        std::fputs("the firmware download failed (--trace FILE records every command)", err);
        break;
    case DriveVerdict::NoAnswer:
        std::fputs("its identification could not be read after the update; expected revision ", err);
        WriteRevision(err, expected);
        break;
    case DriveVerdict::WrongRevision:
        std::fputs("reports revision ", err);
        WriteRevision(err, outcome.reportedRevision);
        std::fputs(" after the update, expected ", err);
        WriteRevision(err, expected);
        break;
    }
    std::fputc('\n', err);
}

// After a failed update, how each drive that took part ended, failed ones and good ones alike:
// the person needs to know which drive to look after.
void ReportDrives(const UpdateSequence& sequence, std::FILE* err)
{
    for (int slot = 0; slot < sequence.UpdateCount(); ++slot) ReportDrive(sequence, sequence.OutcomeOfSlot(slot), err);
}

void ReportRestart(const UpdateSequence& sequence, const UpdateChoice& choice, std::FILE* out)
{
    if (!sequence.RestartAccepted())
        std::fputs("The system refused the restart.\n", out);
    else if (choice.virtualSystem)
        std::fputs("Restart requested (virtual system: recorded, not performed).\n", out);
    else
        std::fputs("Restart requested.\n", out);
}

}  // namespace

int ExitCodeFor(SequenceOutcome outcome)
{
    switch (outcome) {
    case SequenceOutcome::Restarted:
    case SequenceOutcome::ClosedAfterSuccess:
    case SequenceOutcome::Updated:
    case SequenceOutcome::Closed:
        return kExitSuccess;
    case SequenceOutcome::NoFirmware:
    case SequenceOutcome::InvalidPackage:
    case SequenceOutcome::NoMatchedDrive:
    case SequenceOutcome::NoticeDeclined:
    case SequenceOutcome::QuestionDeclined:
        return kExitRefused;
    case SequenceOutcome::DeviceFailed:
    case SequenceOutcome::UpdateFailed:
    case SequenceOutcome::Undecided:
        return kExitUpdateFailed;
    }
    return kExitUpdateFailed;
}

std::string_view FormatVerdict(const DriveRecord& record, const PackageReader& package, char (&verdict)[64])
{
    if (record.updatable == 0) {
        std::snprintf(verdict, sizeof verdict, "not allowed");
    } else {
        const std::string_view revision = package.NewRevisionForDisplay(record.bankNumber);
        std::snprintf(verdict, sizeof verdict, "updatable bank=%u current=%u new=%.*s",
                      static_cast<unsigned>(record.bankNumber), static_cast<unsigned>(record.alreadyCurrent),
                      static_cast<int>(revision.size()), revision.data());
    }
    return verdict;
}

namespace {

// The drive table takes the first 16 optical drives the system lists: each one past them is
// named, so that no drive is left out of the list unsaid.
void NameDrivesLeftOut(platform::System& system, std::FILE* err)
{
    platform::DriveRootList leftOut{};
    UpdateSequence::ListDrivesLeftOut(system, leftOut);
    for (int i = 0; i < leftOut.count; ++i)
        std::fprintf(err, "norvik-cli: %s: not listed: one update takes at most %d drives\n", leftOut.roots[i], kMaxDrives);
}

}  // namespace

int RunList(platform::System& system, const uint8_t* packageBlock, TerminalView& view, std::FILE* out,
            std::FILE* err)
{
    UpdateSequence sequence(system, packageBlock, view);
    if (!sequence.CheckPackage() || !sequence.FindDrives()) return ExitCodeFor(sequence.Outcome());
    const AtapiDevice& device = *sequence.MainDevice();
    for (uint32_t index = 0; index < device.DriveCount(); ++index) {
        const DriveRecord* record = device.GetDrive(index);
        if (record == nullptr) continue;
        char entry[kDriveEntrySize];
        char verdict[64];
        const std::string_view entryText = FormatDriveEntry(*record, entry);
        // The entry and the verdict carry the drive's and the package's texts.
        WriteAsText(out, entryText, LineFeeds::Escaped);
        std::fputs("  ", out);
        WriteAsText(out, FormatVerdict(*record, sequence.Package(), verdict), LineFeeds::Escaped);
        std::fputc('\n', out);
    }
    NameDrivesLeftOut(system, err);
    if (const char* advice = system.PermissionAdvice(); advice != nullptr && advice[0] != '\0')
        std::fprintf(err, "norvik-cli: %s\n", advice);
    if (sequence.ProfilesArePlaceholders())
        std::fprintf(err, "norvik-cli: %.*s\n", static_cast<int>(texts::kPlaceholderProfiles.size()),
                     texts::kPlaceholderProfiles.data());
    return kExitSuccess;
}

int RunUpdate(platform::System& system, const uint8_t* packageBlock, TerminalView& view, const UpdateChoice& choice,
              std::FILE* out, std::FILE* err)
{
    UpdateSequence sequence(system, packageBlock, view);
    if (choice.drive != kNoDriveChosen && sequence.Settings().autoMode != 0) {
        std::fputs("norvik-cli: --drive does not go with this package: it updates every updatable drive "
                   "(AUTOMODE)\n", err);
        return kExitUsage;
    }
    view.SetTickHandler([&sequence] { sequence.tmrTimer(); });
    sequence.StartUp();
    if (!view.TerminationRequested() && sequence.Settings().autoMode == 0) {
        if (!ChooseDrive(sequence, view, choice.drive, err)) {
            view.Finish();
            return kExitUsage;
        }
        sequence.cmdUpdateClick();
        if (sequence.CurrentPhase() == UpdateSequence::Phase::AtRest && sequence.UpdateCount() == 0) {
            view.ShowPending();
            std::fprintf(err, "norvik-cli: drive %d is not allowed to be updated by this package\n",
                         view.SelectedDriveEntry());
            view.Finish();
            return kExitRefused;
        }
    }
    WaitUntilUpdateOver(sequence);
    view.Finish();
    DeleteEndedWorkers();
    if (sequence.Outcome() == SequenceOutcome::UpdateFailed) ReportDrives(sequence, err);
    if (sequence.Outcome() == SequenceOutcome::Restarted) ReportRestart(sequence, choice, out);
    return ExitCodeFor(sequence.Outcome());
}

}  // namespace cli
