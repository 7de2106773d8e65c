#pragma once
// The program's start-up and update sequence, the same for every front end: the refusals at
// start-up, the drive list and the verdict on the selected drive, the choice of drives for an
// update, the disc and tray check, one worker per drive, the progress texts, the completion
// and its outcome. Every decision and every text the user sees is made here; the front end
// shows them through an UpdateView, hands over its events (drive chosen, Update, Close, the
// 100 ms tick) and runs workers through WorkerThreads, which hands their ends back.
//
// Everything runs on the thread that made the object. A worker's end is handed to that thread
// (by the front end's loop, or by a message box's own loop) while the worker waits; the
// completion runs once, after every worker of the update has been started and has ended.
//
// Order of use: StartUp() (or CheckPackage() and FindDrives() for a front end that only lists
// the drives), then the handlers as the user acts.
//
// One class; its definitions are split by concern:
//   update/UpdateSequence.cpp         start-up, the drive list, the verdict on the selected drive,
//                                     closing and the end
//   update/UpdateSequenceRun.cpp      the update: choice of drives, disc and tray check, workers,
//                                     progress, completion and outcome
//   update/UpdateSequenceJournal.cpp  the journal's record of an update

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "device/AtapiDevice.h"
#include "device/DriveRecord.h"
#include "package/PackageReader.h"
#include "platform/JournalRecord.h"
#include "platform/System.h"
#include "sys/OSInfo.h"
#include "update/DriveEntry.h"
#include "update/FixedText.h"
#include "update/Parser.h"
#include "update/UpdateView.h"
#include "update/WorkerThreads.h"

// Whether the update may send the made-up flash profiles that a program built from source
// carries. Only a front end whose drives are models of the drive allows them (the demo, the
// console's --virtual): a real drive's boot code would program its flash after them.
enum class MadeUpProfiles : uint8_t {
    Refused,
    Allowed,
};

// How the run has ended so far, for a front end that reports it (the console's exit status).
enum class SequenceOutcome : uint8_t {
    Undecided,           // start-up not finished, at rest, or an update under way
    NoFirmware,          // "No F/W in executable !"
    InvalidPackage,      // kInvalidPackageMessage, or kDamagedProfiles
    DeviceFailed,        // "Device object initialize failed !"
    NoMatchedDrive,      // the no-match message
    NoticeDeclined,      // the notice not answered Yes
    QuestionDeclined,    // the already-current question not answered Yes
    UpdateFailed,        // "Unable to flash firmware. Please contact with your vendor !"
    Restarted,           // success with REBOOT: restart requested (RestartAccepted: the answer)
    RestartSkipped,      // success with REBOOT, the restart skipped at the user's request
    ClosedAfterSuccess,  // success with CLOSEAP: silent end
    Updated,             // success with "Done.": the program stays open
    Closed,              // cmdCloseClick
};

// How one drive of the last update ended. Only Updated is a success: the drive was programmed
// and, read again afterwards, reports its bank's new revision.
enum class DriveVerdict : uint8_t {
    NotStarted,      // no device object, the drive did not open, or its bank is unusable
    GivenUp,         // the disc and tray check gave it up (it stopped answering, or nobody could)
    DownloadFailed,  // its worker's download failed (also while the worker still runs)
    NoAnswer,        // programmed, but its identification could not be read again
    WrongRevision,   // programmed, but it reports another revision than its bank's new one
    Updated,
};

struct DriveOutcome {
    int16_t driveIndex;  // in the main device object's drive table
    uint16_t bank;       // 0-based firmware bank it was given
    DriveVerdict verdict;
    char reportedRevision[5];  // as read after the update (WrongRevision, Updated)
    char previousRevision[5];  // as listed before the update
    LastCommand lastCommand;   // the last command its device object sent
};

class UpdateSequence final : private WorkerEndHandler {
public:
    // The progress bar's range during an update; the front end ticks every kTimerIntervalMs.
    static constexpr int kProgressMaximum = 330;
    static constexpr int kTimerIntervalMs = 100;
    // The range of the bar as the window is made, before the first update.
    static constexpr int kInitialProgressMaximum = 100;

    enum class Phase : uint8_t {
        AtRest,       // waiting for the user (also before StartUp)
        Preparing,    // cmdUpdateClick: choosing drives, checking discs, starting workers
        Programming,  // every worker started, the timer runs
        Finishing,    // the last worker ended: results, refresh, outcome
        Ended,        // the application has been told to terminate
    };

    // The package is any block of payload::kPackageSize bytes (the program's own, or a copy in
    // memory); it must outlive the sequence. The settings are read here, once, for the run. The
    // workers run on the front end's threads, which must outlive the sequence. madeUpProfiles is
    // the front end's answer for its drives.
    UpdateSequence(platform::System& system, const uint8_t* packageBlock, UpdateView& view, WorkerThreads& threads,
                   MadeUpProfiles madeUpProfiles);
    // Workers still running (a front end torn down mid-update) are waited for, then their
    // device objects destroyed, then the main device object.
    ~UpdateSequence();
    UpdateSequence(const UpdateSequence&) = delete;
    UpdateSequence& operator=(const UpdateSequence&) = delete;

    // The whole start-up from the caption on: package checks, drives, the no-match refusal, the
    // notice, and in automatic mode the update. Runs once.
    void StartUp();
    // Its stages, for a front end that only lists the drives. Each returns false after it has
    // refused (message shown, application told to terminate).
    bool CheckPackage();  // no firmware bank; a bank outside the image area
    bool FindDrives();    // status reset, main device object with discovery, list, verdict

    // The handlers of the window's events, named after them. cmdUpdateClick and cmdCloseClick
    // do nothing while an update is under way (their buttons are disabled then), and
    // cmdUpdateClick nothing after the end; tmrTimer acts only while the workers run.
    void FillDriveList();
    void cboDrivesChange();  // the user chose a drive (read from the view's selection)
    void cmdUpdateClick();
    void cmdCloseClick();
    void tmrTimer();
    void FormDestroy();  // destroys the main device object

    Phase CurrentPhase() const { return phase; }
    SequenceOutcome Outcome() const { return outcome; }
    bool TerminationRequested() const { return phase == Phase::Ended; }
    // A package that restarts the system after a successful update ends the program without
    // the restart (the front end tells the user that one is still due).
    void SkipRestart() { restartSkipped = true; }
    bool RestartAccepted() const { return restartAnswer == sys::RestartAnswer::Accepted; }
    // How the system answered the restart request; meaningful once the outcome is Restarted.
    sys::RestartAnswer RestartAnswerGiven() const { return restartAnswer; }

    int32_t RunningWorkers() const { return runningWorkers; }
    int32_t UpdateCount() const { return updateCount; }
    bool AllSucceeded() const { return allSucceeded; }
    // Drives of the main device object that are present and updatable.
    int UpdatableDriveCount() const;
    // The optical drive roots that the system lists past the 16 that the drive table takes, in
    // its order (none on the ASPI route, which lists no roots).
    static void ListDrivesLeftOut(platform::System& system, platform::DriveRootList& leftOut);
    // Slot 0..UpdateCount()-1 of the current or last update.
    const DriveOutcome& OutcomeOfSlot(int slot) const { return driveOutcomes[static_cast<std::size_t>(slot)]; }
    // The program carries only the synthetic flash profiles and the front end refused them for
    // its drives: no drive may be updated.
    bool ProfilesArePlaceholders() const { return placeholderProfiles; }

    // The package's identity for the journal's records: the SHA-256 of the file it was read
    // from, in hex; empty while unknown.
    void SetPackageIdentity(std::string_view sha256Hex);

    const PackageReader& Package() const { return package; }
    const PackageSettings& Settings() const { return settings; }
    // Null before FindDrives, when the object could not be made, and after FormDestroy.
    const AtapiDevice* MainDevice() const { return mainDevice.get(); }
    // Every drive-list entry, each followed by "\n".
    std::string_view DetectedDrives() const { return std::string_view(detectedDrives, detectedLength); }

private:
    static std::unique_ptr<AtapiDevice> MakeDevice(platform::System& system, bool scan);

    void ShowCaption();
    bool Refuse(std::string_view text, SequenceOutcome refusal);
    void End(SequenceOutcome reason);
    void JudgeDrives();
    void AppendDetected(std::string_view entry);
    void SelectFirstUpdatableDrive();
    bool RefuseWithoutMatchedDrive();
    bool ConfirmNotice();
    void ShowPermissionAdviceOnce();

    void ChooseSelectedDrive();
    void ChooseUpdatableDrives();
    void AddSlot(int driveIndex);
    void TellAboutDrivesLeftOut();
    void PrepareSlot(int slot);
    void MarkFailed(int slot, DriveVerdict verdict);
    void ReportAccessRefused(const AtapiDevice* device);
    void BeginFlash();
    using InhibitorText = FixedText<kMaxDrives * platform::kRootPathSize + 64>;
    InhibitorText InhibitorReason() const;
    void ReleaseShutdown();
    void EndFlash();
    bool CheckDiscAndTray(AtapiDevice& drive);
    bool Acknowledge(std::string_view text, int& boxesShown);
    void StartWorker(int slot, const Parser::WorkerParameters& parameters);
    void BeginProgramming();
    void WorkerEnded(int slot) override;
    void ParserTerminate();
    void ShowProgress();

    void CompleteUpdate();
    void CollectResults();
    void RefreshDrives();
    void RereadDrive(int16_t index);
    void JudgeUpdatedDrives();
    void StartJournalRecord(platform::JournalRecord& record) const;
    void RecordUpdateInJournal();
    void RecordRestartNotMadeInJournal();
    void ReportOutcome();
    void WaitForWorkers();

    platform::System& system;
    UpdateView& view;
    WorkerThreads& threads;
    const PackageReader package;
    const PackageSettings settings;
    sys::OSInfo osInfo;

    int32_t runningWorkers = 0;
    int32_t updateCount = 0;
    bool allSucceeded = false;
    std::unique_ptr<AtapiDevice> mainDevice;
    std::array<std::unique_ptr<AtapiDevice>, kMaxDrives> driveDevices;
    // The worker of each slot of the current or last update.
    std::array<std::optional<Parser>, kMaxDrives> workers;
    std::array<DriveOutcome, kMaxDrives> driveOutcomes{};
    // Drives whose identification the refresh after the update has read.
    std::array<bool, kMaxDrives> reread{};
    const bool placeholderProfiles;
    bool flashUnderway = false;
    bool shutdownInhibited = false;

    char detectedDrives[kMaxDrives * kDriveEntrySize + 1] = {};
    std::size_t detectedLength = 0;
    int progressPosition = 0;
    int progressMaximum = kInitialProgressMaximum;
    Phase phase = Phase::AtRest;
    SequenceOutcome outcome = SequenceOutcome::Undecided;
    bool startedUp = false;
    int updatedDriveIndex = -1;  // manual mode: the drive of the current update
    bool adviceShown = false;
    sys::RestartAnswer restartAnswer = sys::RestartAnswer::Refused;  // nothing asked yet
    bool restartSkipped = false;
    char packageIdentity[65] = {};
};
