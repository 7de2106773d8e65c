// The update: the choice of drives, one device object per drive, the disc and tray check, one
// worker per drive, the progress tick, and the completion with its outcome.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/ErrCodeException.h"
#include "payload/PackageLayout.h"
#include "update/Eligibility.h"
#include "update/FixedText.h"
#include "update/Parser.h"
#include "update/SequenceTexts.h"
#include "update/UpdateSequence.h"

namespace {

constexpr int32_t kTrayWaitSeconds = 120;
// The disc and tray check's boxes come back pass after pass while a drive stays as it is; after
// this many plain ones they also offer to give the drive up.
constexpr int kPlainBoxesPerDrive = 2;
constexpr int kDotsPerCycle = 10;

// A bank's bytes as the worker gets them: inside the image area, or not given to any worker.
bool BankLiesInImage(int32_t start, int32_t size)
{
    return start >= 0 && size >= 0 && int64_t{start} + size <= static_cast<int64_t>(payload::kImageAreaSize);
}

// The last command neither completed nor ended with sense data: the request failed as such or
// ran out of time. A drive in that state (gone, unplugged, hung) answers no further pass.
bool StoppedAnswering(const AtapiDevice& drive) { return drive.LastCommandRecord().lastStatus == scsi::kCommandFailed; }

std::string_view RevisionOf(const DriveRecord& record)
{
    return std::string_view(record.revision, strnlen(record.revision, sizeof record.revision - 1));
}

// A printf format in the user's language, or the source where the translation's conversions
// differ: printf trusts its format, and a front end's catalogue is no reason to.
const char* FormatShown(const UpdateView& view, std::string_view source)
{
    const std::string_view shown = view.Translated(source);
    return TranslationFits(source, shown) ? shown.data() : source.data();
}

}  // namespace

void UpdateSequence::cmdUpdateClick()
{
    if (phase != Phase::AtRest || mainDevice == nullptr) return;
    phase = Phase::Preparing;
    outcome = SequenceOutcome::Undecided;
    updateCount = 0;
    // The update's device objects open their drives exclusively: the main object lets go first.
    mainDevice->CloseDrive();
    if (settings.autoMode == 0)
        ChooseSelectedDrive();
    else
        ChooseUpdatableDrives();
    if (phase == Phase::Ended) return;

    runningWorkers = 0;
    for (int slot = 0; slot < updateCount; ++slot) PrepareSlot(slot);

    if (runningWorkers != 0) {
        BeginProgramming();
    } else if (updateCount != 0) {
        // Every drive failed before its worker, or every worker ended while later drives were
        // still being prepared: the update is over now.
        CompleteUpdate();
    } else {
        phase = Phase::AtRest;
    }
}

// The Update button is enabled only while an updatable drive is selected; a front end that
// calls the handler otherwise (the console's choice of drive) still updates no other drive.
void UpdateSequence::ChooseSelectedDrive()
{
    const int index = view.SelectedDriveEntry();
    const DriveRecord* record = index >= 0 ? mainDevice->GetDrive(static_cast<uint32_t>(index)) : nullptr;
    if (record == nullptr || record->updatable == 0) return;
    if (record->alreadyCurrent != 0 && settings.n2oMessage != 0) {
        const MessageAnswer answer = view.ShowMessage(MessageKind::Warning, view.Translated(texts::kWarningTitle),
                                                      view.Translated(texts::kAlreadyCurrent), MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes) {
            End(SequenceOutcome::QuestionDeclined);
            return;
        }
    }
    updatedDriveIndex = index;
    AddSlot(index);
}

// One update takes at most 16 drives: the first updatable ones in list order.
void UpdateSequence::ChooseUpdatableDrives()
{
    const int count = mainDevice->DriveCount();
    for (int index = 0; index < count && updateCount < kMaxDrives; ++index) {
        const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(index));
        if (record != nullptr && record->present != 0 && record->updatable != 0) AddSlot(index);
    }
    if (updateCount != 0) TellAboutDrivesLeftOut();
}

// The slot's device object, made without discovery, with the main object's drive table, and
// with its drive selected (opened). A slot without an object, or whose drive could not be
// opened, counts as a failed drive when its turn comes.
void UpdateSequence::AddSlot(int driveIndex)
{
    DriveOutcome& outcome = driveOutcomes[static_cast<std::size_t>(updateCount)];
    outcome = DriveOutcome{static_cast<int16_t>(driveIndex), 0, DriveVerdict::NotStarted, {}, {}, {}};
    if (const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(driveIndex)))
        std::memcpy(outcome.previousRevision, record->revision, sizeof outcome.previousRevision - 1);
    std::unique_ptr<AtapiDevice>& device = driveDevices[static_cast<std::size_t>(updateCount++)];
    device = MakeDevice(system, false);
    if (device == nullptr) return;
    mainDevice->CopyStateTo(*device);
    device->RequireExclusiveAccess();
    device->SelectDrive(static_cast<int16_t>(driveIndex));
}

// The drive table holds 16 drives, so optical drives past them never reach the list. The
// pass-through route lists the system's drives, so there they can be counted and told about.
void UpdateSequence::ListDrivesLeftOut(platform::System& system, platform::DriveRootList& leftOut)
{
    leftOut.count = 0;
    if (!sys::OSInfo(system).IsNT()) return;
    platform::DriveRootList roots{};
    system.ListDriveRoots(roots);
    int opticalDrives = 0;
    for (int i = 0; i < std::min<int>(roots.count, platform::kMaxDriveRoots); ++i) {
        char root[platform::kRootPathSize] = {};
        std::memcpy(root, roots.roots[i], strnlen(roots.roots[i], sizeof root - 1));
        if (root[0] == '\0') break;
        if (system.IsOpticalDrive(root) && ++opticalDrives > kMaxDrives)
            std::memcpy(leftOut.roots[leftOut.count++], root, sizeof root);
    }
}

void UpdateSequence::TellAboutDrivesLeftOut()
{
    platform::DriveRootList leftOut{};
    ListDrivesLeftOut(system, leftOut);
    if (leftOut.count == 0) return;
    char text[256];
    std::snprintf(text, sizeof text, FormatShown(view, texts::kDrivesLeftOutFormat), static_cast<int>(leftOut.count));
    view.ShowMessage(MessageKind::Information, view.Translated(texts::kInformationTitle), text, MessageButtons::Ok);
}

void UpdateSequence::PrepareSlot(int slot)
{
    AtapiDevice* device = driveDevices[static_cast<std::size_t>(slot)].get();
    const int16_t index = device != nullptr ? device->CurrentIndex() : kSelectionFailed;
    const DriveRecord* record = index >= 0 ? mainDevice->GetDrive(static_cast<uint32_t>(index)) : nullptr;
    if (record == nullptr || record->bankNumber >= settings.howManyBin) {
        ReportAccessRefused(device);
        MarkFailed(slot, DriveVerdict::NotStarted);
        return;
    }
    const int bank = record->bankNumber;
    driveOutcomes[static_cast<std::size_t>(slot)].bank = record->bankNumber;
    Parser::WorkerParameters parameters{};
    parameters.device = device;
    parameters.image = package.ImageArea() + package.BinStart(bank);
    parameters.length = package.BinSize(bank);
    parameters.bootCode = settings.bootCode != 0;
    if (!BankLiesInImage(package.BinStart(bank), parameters.length)) {
        MarkFailed(slot, DriveVerdict::NotStarted);
        return;
    }
    // The check's waits may run out; they must not raise, whatever state was copied in.
    device->DisableErrorRaising();
    if (settings.chkDisc == 1 && !CheckDiscAndTray(*device)) {
        MarkFailed(slot, DriveVerdict::GivenUp);
        return;
    }
    // A stop asked for while other drives are written (a signal held off) starts nothing more.
    if (view.StopRequested()) {
        MarkFailed(slot, DriveVerdict::NotStarted);
        return;
    }
    StartWorker(slot, parameters);
}

// A drive that another program holds is left alone, and the person is told which and why.
void UpdateSequence::ReportAccessRefused(const AtapiDevice* device)
{
    if (device == nullptr || device->CurrentIndex() >= 0 || device->AccessRefusal()[0] == '\0') return;
    char text[platform::kRefusalSize + 64];
    std::snprintf(text, sizeof text, FormatShown(view, texts::kDriveNotOpenedFormat), device->AccessRefusal());
    view.ShowMessage(MessageKind::Error, view.Translated(texts::kErrorTitle), text, MessageButtons::Ok);
}

void UpdateSequence::MarkFailed(int slot, DriveVerdict verdict)
{
    driveOutcomes[static_cast<std::size_t>(slot)].verdict = verdict;
    if (AtapiDevice* device = driveDevices[static_cast<std::size_t>(slot)].get())
        device->updateResult = ErrCodeException::kDownloadFailed;
}

// Ends when the drive reports no medium and a closed tray; until then every pass that does not
// end it shows the user a message, so a drive that fails every command keeps asking instead of
// turning silently. A tray that is found open again after a pass that closed it without a word
// is such a case. A drive whose requests no longer get through (gone, hung) is given up at
// once: no pass could end. A message answered with anything but OK (the person gave the drive
// up, or a front end cannot ask anyone) gives the drive up as well.
bool UpdateSequence::CheckDiscAndTray(AtapiDevice& drive)
{
    view.SetStatus(view.Translated(texts::kCheckDisc));
    bool previousPassSilent = false;
    int boxesShown = 0;
    for (;;) {
        bool messageShown = false;
        const bool noMedium = drive.IsDiscAbsent();
        if (StoppedAnswering(drive)) return false;
        if (noMedium) {
            if (!drive.IsTrayOpen()) return true;
            if (previousPassSilent) {
                if (!Acknowledge(view.Translated(texts::kPushTrayIn), boxesShown)) return false;
                messageShown = true;
            }
        } else {
            view.SetStatus(view.Translated(texts::kTrayOut));
            drive.EjectTray();
            drive.WaitReady(kTrayWaitSeconds);
            if (StoppedAnswering(drive)) return false;
            const bool ejected = drive.SenseIs(scsi::kSenseNotReady, scsi::kAscMediumNotPresent);
            if (!Acknowledge(ejected ? view.Translated(texts::kRemoveDisc) : view.Translated(texts::kDiscLocked),
                             boxesShown))
                return false;
            messageShown = true;
        }
        view.SetStatus(view.Translated(texts::kTrayIn));
        drive.LoadTray();
        view.SetStatus(view.Translated(texts::kWaitingReady));
        drive.WaitReady(kTrayWaitSeconds);
        if (StoppedAnswering(drive)) return false;
        if (drive.IsTrayOpen()) {
            if (!Acknowledge(view.Translated(texts::kPushTrayIn), boxesShown)) return false;
            messageShown = true;
        }
        previousPassSilent = !messageShown;
    }
}

bool UpdateSequence::Acknowledge(std::string_view text, int& boxesShown)
{
    const MessageButtons buttons = ++boxesShown > kPlainBoxesPerDrive ? MessageButtons::OkGiveUp : MessageButtons::Ok;
    return view.ShowMessage(MessageKind::Warning, view.Translated(texts::kWarningTitle), text, buttons) ==
           MessageAnswer::Ok;
}

// The worker's end is counted on this thread; while later drives are still being prepared it
// cannot complete the update. A worker whose thread could not be made never ran: its drive was
// sent nothing by it and counts as failed.
void UpdateSequence::StartWorker(int slot, const Parser::WorkerParameters& parameters)
{
    // Until its worker reports a drive programmed, the drive counts as failed.
    driveOutcomes[static_cast<std::size_t>(slot)].verdict = DriveVerdict::DownloadFailed;
    std::optional<Parser>& worker = workers[static_cast<std::size_t>(slot)];
    worker.emplace(parameters);
    BeginFlash();
    if (!threads.Start(slot, *worker, *this)) {
        parameters.device->updateResult = ErrCodeException::kDownloadFailed;
        return;
    }
    ++runningWorkers;
}

void UpdateSequence::WorkerEnded(int) { ParserTerminate(); }

// From the first worker started until the outcome is reported, nothing may end the process or
// the system: the system is asked to hold off shutdown and sleep while drives are written, and
// the front end holds off signals until the outcome.
void UpdateSequence::BeginFlash()
{
    if (flashUnderway) return;
    flashUnderway = true;
    shutdownInhibited = true;
    system.InhibitShutdown(InhibitorReason().Terminated());
    view.FlashUnderway(true);
}

// The drives of the update by their roots, for whoever asks the system why it may not sleep.
UpdateSequence::InhibitorText UpdateSequence::InhibitorReason() const
{
    InhibitorText why;
    why << texts::kInhibitorWhy;
    for (int slot = 0; slot < updateCount; ++slot) {
        const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(OutcomeOfSlot(slot).driveIndex));
        if (record == nullptr) continue;
        why << (slot == 0 ? " " : ", ")
            << std::string_view(record->rootPath, strnlen(record->rootPath, sizeof record->rootPath));
    }
    return why;
}

void UpdateSequence::ReleaseShutdown()
{
    if (!shutdownInhibited) return;
    shutdownInhibited = false;
    system.ReleaseShutdownInhibitor();
}

void UpdateSequence::EndFlash()
{
    if (!flashUnderway) return;
    flashUnderway = false;
    view.FlashUnderway(false);
}

void UpdateSequence::BeginProgramming()
{
    progressMaximum = kProgressMaximum;
    ShowProgress();
    view.SetProgressTimer(true);
    view.SetUpdateEnabled(false);
    view.SetCloseEnabled(false);
    view.SetStatusColour(TextColour::Maroon);
    phase = Phase::Programming;
}

void UpdateSequence::ParserTerminate()
{
    --runningWorkers;
    if (runningWorkers != 0 || phase != Phase::Programming) return;
    CompleteUpdate();
}

// Paced by the front end's timer alone: no progress value comes from the workers.
void UpdateSequence::tmrTimer()
{
    if (phase != Phase::Programming) return;
    if (progressPosition == progressMaximum) {
        view.SetStatus(view.Translated(texts::kProgrammingAtMaximum));
        return;
    }
    ++progressPosition;
    ShowProgress();
    char percent[16];
    std::snprintf(percent, sizeof percent, "%d %%", progressPosition * 100 / progressMaximum);
    view.SetPercent(percent);

    constexpr std::string_view kDots = "..........";
    static_assert(kDots.size() == kDotsPerCycle);
    const std::size_t dots = static_cast<std::size_t>(progressPosition % kDotsPerCycle);
    FixedText<128> status;
    status << view.Translated(texts::kProgramming) << kDots.substr(0, dots);
    view.SetStatus(status.View());
}

void UpdateSequence::ShowProgress() { view.SetProgress(progressPosition, progressMaximum); }

void UpdateSequence::CompleteUpdate()
{
    phase = Phase::Finishing;
    view.SetProgressTimer(false);
    ReleaseShutdown();
    CollectResults();
    progressPosition = progressMaximum;
    ShowProgress();
    view.SetPercent(texts::kFullPercent);
    view.SetStatus(view.Translated(texts::kInquiry));
    view.ProcessPendingMessages();
    RefreshDrives();
    JudgeUpdatedDrives();
    RecordUpdateInJournal();
    view.SetUpdateEnabled(true);
    view.SetCloseEnabled(true);
    ReportOutcome();
    EndFlash();
}

// Every worker has ended: its result is final and its device object free to go. A drive that
// its worker programmed is not yet a success: the drive has to show it (JudgeUpdatedDrives).
void UpdateSequence::CollectResults()
{
    for (int slot = 0; slot < updateCount; ++slot) {
        std::unique_ptr<AtapiDevice>& device = driveDevices[static_cast<std::size_t>(slot)];
        DriveOutcome& outcome = driveOutcomes[static_cast<std::size_t>(slot)];
        if (device == nullptr) continue;
        if (outcome.verdict == DriveVerdict::DownloadFailed && device->updateResult == 0)
            outcome.verdict = DriveVerdict::NoAnswer;
        outcome.lastCommand = device->LastCommandRecord();
        device.reset();
    }
}

// The updated drives report their new revision. In manual mode the drive that was updated is
// read again and selected, whatever entry was chosen while its worker ran.
void UpdateSequence::RefreshDrives()
{
    reread.fill(false);
    if (mainDevice == nullptr) return;
    if (settings.autoMode == 0) {
        RereadDrive(static_cast<int16_t>(updatedDriveIndex));
        FillDriveList();
        view.SelectDriveEntry(updatedDriveIndex);
        return;
    }
    for (int16_t index = 0; index < static_cast<int16_t>(mainDevice->DriveCount()); ++index) RereadDrive(index);
    FillDriveList();
    mainDevice->CloseDrive();
}

// The drives that were programmed have had their time to settle in their workers.
void UpdateSequence::RereadDrive(int16_t index)
{
    if (index < 0 || index >= kMaxDrives || !mainDevice->SelectDrive(index)) return;
    reread[static_cast<std::size_t>(index)] = mainDevice->ReidentifyCurrent();
}

// The update succeeded only for drives that, read again just now, report their bank's new
// revision (compared as eligibility compares it). A drive that could not be read again, or
// reports anything else, failed: its worker's word alone is not enough.
void UpdateSequence::JudgeUpdatedDrives()
{
    allSucceeded = updateCount != 0;
    for (int slot = 0; slot < updateCount; ++slot) {
        DriveOutcome& outcome = driveOutcomes[static_cast<std::size_t>(slot)];
        const DriveRecord* record = mainDevice != nullptr
                                        ? mainDevice->GetDrive(static_cast<uint32_t>(outcome.driveIndex))
                                        : nullptr;
        if (outcome.verdict == DriveVerdict::NoAnswer && record != nullptr &&
            reread[static_cast<std::size_t>(outcome.driveIndex)]) {
            const std::string_view reported = RevisionOf(*record);
            std::memcpy(outcome.reportedRevision, reported.data(), reported.size());
            const bool current = CompareTexts(reported, package.NewRevisionForComparison(outcome.bank)) == 0;
            outcome.verdict = current ? DriveVerdict::Updated : DriveVerdict::WrongRevision;
        }
        if (outcome.verdict != DriveVerdict::Updated) allSucceeded = false;
    }
}

void UpdateSequence::ReportOutcome()
{
    if (!allSucceeded) {
        ShowPermissionAdviceOnce();
        view.ShowMessage(MessageKind::Error, view.Translated(texts::kErrorTitle), view.Translated(texts::kUpdateFailed),
                         MessageButtons::Ok);
        End(SequenceOutcome::UpdateFailed);
        return;
    }
    if (settings.reboot != 0 && restartSkipped) {
        End(SequenceOutcome::RestartSkipped);
        return;
    }
    if (settings.reboot != 0) {
        // The program ends also when the system refuses the restart; the journal keeps that it
        // is still due.
        restartAnswer = sys::AskForRestart(osInfo, sys::kRestartReboot);
        if (restartAnswer != sys::RestartAnswer::Accepted) RecordRestartNotMadeInJournal();
        End(SequenceOutcome::Restarted);
        return;
    }
    if (settings.closeAp != 0) {
        End(SequenceOutcome::ClosedAfterSuccess);
        return;
    }
    view.SetStatusColour(TextColour::Navy);
    view.SetStatus(view.Translated(texts::kDone));
    view.ShowMessage(MessageKind::Information, view.Translated(texts::kInformationTitle),
                     view.Translated(texts::kUpdated), MessageButtons::Ok);
    view.SetStatus("");
    phase = Phase::AtRest;
    outcome = SequenceOutcome::Updated;
    cboDrivesChange();
    view.SetPercent(texts::kInitialPercent);
    progressPosition = 0;
    ShowProgress();
}
