// The sequence's start-up, its drive list and the verdict on the selected drive, and its end.
// The update itself (drives, disc and tray check, workers, progress, completion) is in
// UpdateSequenceRun.cpp.

#include "update/UpdateSequence.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "payload/ProfileStore.h"
#include "update/Eligibility.h"
#include "update/FixedText.h"
#include "update/Parser.h"
#include "update/SequenceTexts.h"

namespace {

// The longest message: its fixed parts, the product text and sixteen drive entries.
constexpr std::size_t kMessageSize = 2048;

std::string_view RevisionOf(const DriveRecord& record)
{
    return std::string_view(record.revision, strnlen(record.revision, sizeof record.revision - 1));
}

}  // namespace

UpdateSequence::UpdateSequence(platform::System& system, const uint8_t* packageBlock, UpdateView& view,
                               WorkerThreads& threads, MadeUpProfiles madeUpProfiles)
    : system(system),
      view(view),
      threads(threads),
      package(packageBlock),
      settings(package.ReadSettings()),
      osInfo(system),
      placeholderProfiles(payload::ProfileStoreInUseIsSynthetic() && madeUpProfiles == MadeUpProfiles::Refused)
{}

UpdateSequence::~UpdateSequence() { WaitForWorkers(); }

// A device object that could not be allocated is absent; one whose command buffers could not be
// allocated can send no command, so it counts as not made either.
std::unique_ptr<AtapiDevice> UpdateSequence::MakeDevice(platform::System& system, bool scan)
{
    std::unique_ptr<AtapiDevice> device(new (std::nothrow) AtapiDevice(system, scan));
    if (device != nullptr && (device->InputBuffer() == nullptr || device->OutputBuffer() == nullptr)) device.reset();
    return device;
}

void UpdateSequence::StartUp()
{
    if (startedUp) return;
    startedUp = true;
    detectedLength = 0;
    detectedDrives[0] = '\0';
    ShowCaption();
    if (!CheckPackage() || !FindDrives() || !RefuseWithoutMatchedDrive()) return;
    if (settings.warning == 1 && !ConfirmNotice()) return;
    if (settings.autoMode != 0) cmdUpdateClick();
}

void UpdateSequence::ShowCaption()
{
    if (!package.CaptionIsPlaceholder()) {
        view.SetCaption(package.Caption());
        return;
    }
    const std::string_view version = package.VersionText();
    char caption[64];
    std::snprintf(caption, sizeof caption, texts::kCaptionFallbackFormat, static_cast<int>(version.size()),
                  version.data());
    view.SetCaption(caption);
}

// The package is judged before any drive is looked at: without firmware, with a bank whose
// bytes lie outside the image area, or with a flash profile that holds no chip's data, there is
// nothing that could be written safely.
bool UpdateSequence::CheckPackage()
{
    if (settings.howManyBin == 0) return Refuse(view.Translated(texts::kNoFirmware), SequenceOutcome::NoFirmware);
    if (package.CheckBounds().fault != PackageFault::None)
        return Refuse(kInvalidPackageMessage, SequenceOutcome::InvalidPackage);
    if (!payload::ProfileStoreInUseIsSound())
        return Refuse(view.Translated(texts::kDamagedProfiles), SequenceOutcome::InvalidPackage);
    return true;
}

bool UpdateSequence::FindDrives()
{
    view.SetStatus("");
    view.SetPercent(texts::kInitialPercent);
    progressPosition = 0;
    ShowProgress();

    mainDevice = MakeDevice(system, true);
    if (mainDevice == nullptr) {
        view.ShowMessage(MessageKind::Error, view.Translated(texts::kDeviceErrorTitle),
                         view.Translated(texts::kDeviceFailed), MessageButtons::Ok);
        End(SequenceOutcome::DeviceFailed);
        view.ProcessPendingMessages();
        return false;
    }
    FillDriveList();
    mainDevice->CloseDrive();
    cboDrivesChange();
    return true;
}

bool UpdateSequence::Refuse(std::string_view text, SequenceOutcome refusal)
{
    view.ShowMessage(MessageKind::Error, view.Translated(texts::kErrorTitle), text, MessageButtons::Ok);
    End(refusal);
    return false;
}

void UpdateSequence::End(SequenceOutcome reason)
{
    outcome = reason;
    phase = Phase::Ended;
    view.Terminate();
}

void UpdateSequence::FillDriveList()
{
    view.ClearDriveList();
    detectedLength = 0;
    detectedDrives[0] = '\0';
    if (mainDevice == nullptr) return;

    const int16_t count = static_cast<int16_t>(mainDevice->DriveCount());
    for (int16_t index = 0; index < count; ++index) {
        const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(index));
        if (record == nullptr) continue;
        char entry[kDriveEntrySize];
        const std::string_view text = FormatDriveEntry(*record, entry);
        AppendDetected(text);
        view.AddDriveEntry(text);
    }
    JudgeDrives();
    SelectFirstUpdatableDrive();
}

void UpdateSequence::AppendDetected(std::string_view entry)
{
    const std::size_t room = sizeof detectedDrives - 1 - detectedLength;
    if (entry.size() + 1 > room) return;
    std::memcpy(detectedDrives + detectedLength, entry.data(), entry.size());
    detectedLength += entry.size();
    detectedDrives[detectedLength++] = '\n';
    detectedDrives[detectedLength] = '\0';
}

// Placeholder profiles count like a package without firmware: they were made up for the drive
// model, and a real drive's boot code would program its flash after them.
void UpdateSequence::JudgeDrives()
{
    const int16_t count = static_cast<int16_t>(mainDevice->DriveCount());
    CheckEligibility(package, settings, mainDevice->DriveTable(), count);
    if (!placeholderProfiles) return;
    for (int16_t index = 0; index < count; ++index)
        mainDevice->DriveTable()[static_cast<std::size_t>(index)].updatable = 0;
}

void UpdateSequence::SelectFirstUpdatableDrive()
{
    const int count = mainDevice->DriveCount();
    for (int index = 0; index < count; ++index) {
        const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(index));
        if (record != nullptr && record->present != 0 && record->updatable != 0) {
            view.SelectDriveEntry(index);
            return;
        }
    }
    view.SelectDriveEntry(-1);
}

// While an update is under way the Update button stays disabled whatever drive is chosen: a
// second update would take over the slots of the one in progress.
void UpdateSequence::cboDrivesChange()
{
    const int index = view.SelectedDriveEntry();
    if (mainDevice == nullptr || index < 0) return;
    const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(index));
    if (record == nullptr) return;

    if (record->updatable == 0) {
        view.SetUpdateEnabled(false);
        view.HideRevisions();
        view.ShowUpdateSentence(view.Translated(texts::kNotAllowed), TextColour::Maroon);
        return;
    }
    view.SetUpdateEnabled(phase == Phase::AtRest);
    view.ShowUpdateSentence(view.Translated(texts::kWillBeUpdated), TextColour::Black);
    view.ShowRevisions(package.NewRevisionForDisplay(record->bankNumber), RevisionOf(*record));
    // During an update the drives belong to its device objects, which hold them exclusively.
    if (phase == Phase::AtRest) mainDevice->SelectDrive(static_cast<int16_t>(index));
}

int UpdateSequence::UpdatableDriveCount() const
{
    if (mainDevice == nullptr) return 0;
    int updatable = 0;
    for (int index = 0; index < mainDevice->DriveCount(); ++index) {
        const DriveRecord* record = mainDevice->GetDrive(static_cast<uint32_t>(index));
        if (record != nullptr && record->present != 0 && record->updatable != 0) ++updatable;
    }
    return updatable;
}

bool UpdateSequence::RefuseWithoutMatchedDrive()
{
    if (UpdatableDriveCount() > 0) return true;
    ShowPermissionAdviceOnce();
    if (placeholderProfiles)
        view.ShowMessage(MessageKind::Error, view.Translated(texts::kErrorTitle),
                         view.Translated(texts::kPlaceholderProfiles), MessageButtons::Ok);
    FixedText<kMessageSize> text;
    text << view.Translated(texts::kNoMatchHead) << view.Translated(texts::kNoMatchProductBefore)
         << package.ProductText() << view.Translated(texts::kNoMatchProductAfter)
         << view.Translated(texts::kNoMatchDetected) << DetectedDrives();
    return Refuse(text.View(), SequenceOutcome::NoMatchedDrive);
}

bool UpdateSequence::ConfirmNotice()
{
    FixedText<kMessageSize> text;
    text << view.Translated(texts::kNoticeProductBefore) << package.ProductText()
         << view.Translated(texts::kNoticeProductAfter) << view.Translated(texts::kNoticeHead)
         << view.Translated(texts::kNoticePoint1) << view.Translated(texts::kNoticePoint2);
    if (settings.nbWarning == 1) text << view.Translated(texts::kNoticePoint3);
    text << view.Translated(texts::kNoticeQuestion);
    if (view.ShowMessage(MessageKind::Warning, view.Translated(texts::kWarningTitle), text.View(),
                         MessageButtons::YesNo) == MessageAnswer::Yes)
        return true;
    End(SequenceOutcome::NoticeDeclined);
    return false;
}

// The system's advice (a right the process lacks, and what to do about it) explains an empty
// drive list and a failed update alike; it is shown once, before the message it explains.
void UpdateSequence::ShowPermissionAdviceOnce()
{
    if (adviceShown) return;
    const char* advice = system.PermissionAdvice();
    if (advice == nullptr || advice[0] == '\0') return;
    adviceShown = true;
    view.ShowMessage(MessageKind::Error, view.Translated(texts::kErrorTitle), advice, MessageButtons::Ok);
}

// Closing is refused while an update is under way, as the disabled button shows.
void UpdateSequence::cmdCloseClick()
{
    if (phase == Phase::Preparing || phase == Phase::Programming || phase == Phase::Finishing) return;
    End(SequenceOutcome::Closed);
}

void UpdateSequence::FormDestroy() { mainDevice.reset(); }

// A worker waits on its end until this thread has handled it, so the wait for the workers first
// abandons their ends: no end is handled by a sequence being destroyed.
void UpdateSequence::WaitForWorkers()
{
    threads.AbandonAndJoin();
    ReleaseShutdown();
}
