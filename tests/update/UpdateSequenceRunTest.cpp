// The update: choice of drives, disc and tray check, workers, progress, completion and outcome.

#include <gtest/gtest.h>

#include "SequenceFixture.h"

namespace sequencetest {
namespace {

using Phase = UpdateSequence::Phase;

constexpr char kAlreadyCurrent[] = "Your drive's Firmware is already the most updated !\n Do you wish to continue ?";
constexpr char kCheckDisc[] = "Check Disc & Tray Status...";
constexpr char kTrayOut[] = "Tray Out ...";
constexpr char kTrayIn[] = "Tray In ...";
constexpr char kWaitingReady[] = "Waiting Drive Ready ...";
constexpr char kRemoveDisc[] = "Please remove the disc.";
constexpr char kDiscLocked[] =
    "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
    "Please remove the disc manually.";
constexpr char kPushTrayIn[] = "Please push the tray in.";
constexpr char kInquiry[] = "Inquiry ...";

class UpdateRunTest : public SequenceFixture {
protected:
    UpdateRunTest()
    {
        Set(SettingKey::WARNING, '0');
        Set(SettingKey::REBOOT, '0');
    }

    // The status texts of the disc and tray check: from its first text up to the completion.
    std::vector<std::string> CheckStatuses() const
    {
        std::vector<std::string> shown;
        bool inCheck = false;
        for (const std::string& status : view.statuses) {
            if (status == kCheckDisc) inCheck = true;
            if (status == kInquiry) break;
            if (inCheck) shown.push_back(status);
        }
        return shown;
    }
};

TEST_F(UpdateRunTest, ManualUpdateEndsInDoneWithTheNewRevisionListed)
{
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    sequence->cmdUpdateClick();

    EXPECT_EQ(sequence->CurrentPhase(), Phase::Programming);
    EXPECT_EQ(sequence->UpdateCount(), 1);
    EXPECT_EQ(sequence->RunningWorkers(), 1);
    EXPECT_TRUE(view.timerRunning);
    EXPECT_FALSE(view.updateEnabled);
    EXPECT_FALSE(view.closeEnabled);
    EXPECT_EQ(view.statusColour, TextColour::Maroon);
    EXPECT_EQ(view.maximum, 330);
    EXPECT_EQ(view.position, 0);

    ASSERT_TRUE(RunUntilUpdateOver());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[0].text, kUpdated);
    EXPECT_EQ(view.messages[0].statusThen, "Done.");
    EXPECT_EQ(view.messages[0].statusColourThen, TextColour::Navy);

    EXPECT_TRUE(ContainsInOrder(
        view.calls, {"timer off", "progress: 330/330", "percent: 100 %", "status: Inquiry ...", "process messages",
                     "clear drives", "drive: " + TalvoreEntry(0, "sr0", "RN08"), "select: 0", "update on", "close on",
                     "status colour", "status: Done.", std::string("message: ") + kUpdated,
                     "status: ", "revisions: RN08 RN08", "percent: 0 %", "progress: 0/330"}));
    EXPECT_EQ(view.entries, std::vector<std::string>{TalvoreEntry(0, "sr0", "RN08")});
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.oldRevision, "RN08");
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(view.statusColour, TextColour::Navy);
    EXPECT_EQ(view.percent, "0 %");
    EXPECT_EQ(view.position, 0);
    EXPECT_EQ(view.maximum, 330) << "the bar keeps its update range";
    EXPECT_FALSE(view.timerRunning);
    EXPECT_TRUE(view.updateEnabled);
    EXPECT_TRUE(view.closeEnabled);
    EXPECT_EQ(view.terminateCount, 0);
    EXPECT_EQ(sequence->CurrentPhase(), Phase::AtRest);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::Updated);
    EXPECT_TRUE(sequence->AllSucceeded());
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
    EXPECT_EQ(system.openDriveCount(), 1) << "only the main device object keeps the chosen drive open";
}

TEST_F(UpdateRunTest, OnlyTheSelectedDriveIsUpdatedAndReadAgainEvenIfAnotherWasChosenMeanwhile)
{
    sim::VirtualDrive& first = AddDrive();
    sim::VirtualDrive& second = AddDrive("rev=RN06");
    StartUp();
    sequence->cmdUpdateClick();
    view.selected = 1;
    sequence->cboDrivesChange();
    EXPECT_FALSE(view.updateEnabled) << "no second update while one is under way";

    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(first.flashState(), sim::FlashState::Good);
    EXPECT_EQ(CountOpcode(second, kWriteBuffer), 0);
    EXPECT_EQ(view.entries[0], TalvoreEntry(0, "sr0", "RN08"));
    EXPECT_EQ(view.entries[1], TalvoreEntry(1, "sr1", "RN06"));
    EXPECT_EQ(view.selected, 0);
}

TEST_F(UpdateRunTest, HandlersDuringProgrammingChangeNothing)
{
    AddDrive();
    StartUp();
    sequence->cmdUpdateClick();
    const std::size_t callsBefore = view.calls.size();
    sequence->cmdUpdateClick();
    sequence->cmdCloseClick();
    EXPECT_EQ(view.calls.size(), callsBefore);
    EXPECT_EQ(sequence->UpdateCount(), 1);
    EXPECT_EQ(sequence->RunningWorkers(), 1);
    EXPECT_EQ(view.terminateCount, 0);
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdated});
}

TEST_F(UpdateRunTest, RefusedDriveSelectedIsNeverUpdated)
{
    sim::VirtualDrive& refused = AddDrive("rev=RN09");
    AddDrive();
    StartUp();
    view.selected = 0;
    sequence->cmdUpdateClick();
    EXPECT_EQ(sequence->CurrentPhase(), Phase::AtRest);
    EXPECT_EQ(sequence->UpdateCount(), 0);
    EXPECT_FALSE(view.timerRunning);
    EXPECT_EQ(CountOpcode(refused, kWriteBuffer), 0);
}

TEST_F(UpdateRunTest, AlreadyCurrentDriveAnsweredNoEndsWithNothingSent)
{
    Set(SettingKey::N2OMESSAGE, '1');
    sim::VirtualDrive& drive = AddDrive("rev=RN08");
    StartUp();
    view.Answer(MessageAnswer::No);
    sequence->cmdUpdateClick();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(view.messages[0].text, kAlreadyCurrent);
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::QuestionDeclined);
    EXPECT_EQ(sequence->UpdateCount(), 0);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

TEST_F(UpdateRunTest, AlreadyCurrentDriveAnsweredYesIsUpdated)
{
    Set(SettingKey::N2OMESSAGE, '1');
    sim::VirtualDrive& drive = AddDrive("rev=RN08");
    StartUp();
    view.Answer(MessageAnswer::Yes);
    sequence->cmdUpdateClick();
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kAlreadyCurrent, kUpdated}));
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

TEST_F(UpdateRunTest, WorkerGetsTheBanksBytesAndTheBootCodeFlag)
{
    // Bank 2 accepts every drive that bank 1 refuses (its first row is unfilled).
    Set(SettingKey::HOW_MANY_BIN, '2');
    Set(SettingKey::BOOTCODE, '1');
    SetNumber(payload::BinSizeValueOffset(0), 524288);  // bank 1 ends where bank 2 starts
    SetNumber(payload::BinStartValueOffset(1), 524288);
    SetNumber(payload::BinSizeValueOffset(1), 524288);
    std::memcpy(block->newRevision[1], "NEW_FW2=RX01 new", 16);
    sim::VirtualDrive& drive = AddDrive("rev=RN09,newrev=RX01,image=524288");
    StartUp();
    EXPECT_EQ(view.newRevision, "RX01 new") << "the whole value is the display form";

    sequence->cmdUpdateClick();
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
    EXPECT_EQ(drive.lastCommit().control, 0xA0);
    EXPECT_EQ(drive.lastCommit().bytesProgrammed, 524288u);
    EXPECT_EQ(std::memcmp(drive.flash(), block->imageArea + 524288, 524288), 0);
}

TEST_F(UpdateRunTest, DiscThatCanBeEjectedIsTakenOutBeforeTheWorkerStarts)
{
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& drive = AddDrive("disc=1");
    StartUp();
    view.Answer(MessageAnswer::Ok, [&] { EXPECT_TRUE(drive.TakeDiscAway()); });
    sequence->cmdUpdateClick();
    EXPECT_EQ(CheckStatuses(), (std::vector<std::string>{kCheckDisc, kTrayOut, kTrayIn, kWaitingReady}));
    ASSERT_GE(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(view.messages[0].text, kRemoveDisc);
    EXPECT_EQ(view.messages[0].statusThen, kTrayOut);
    EXPECT_EQ(sequence->RunningWorkers(), 1);

    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kRemoveDisc, kUpdated}));
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
    EXPECT_FALSE(drive.trayOpen());
    EXPECT_FALSE(drive.discPresent());
}

TEST_F(UpdateRunTest, DiscHeldByTheDriveIsAskedForManuallyThenEjectedAgain)
{
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& drive = AddDrive("disc=1,fault=1B#1:sense:2/53/02");
    StartUp();
    view.Answer(MessageAnswer::Ok);
    view.Answer(MessageAnswer::Ok, [&] { EXPECT_TRUE(drive.TakeDiscAway()); });
    sequence->cmdUpdateClick();
    EXPECT_EQ(CheckStatuses(), (std::vector<std::string>{kCheckDisc, kTrayOut, kTrayIn, kWaitingReady, kTrayOut,
                                                         kTrayIn, kWaitingReady}));
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kDiscLocked, kRemoveDisc, kUpdated}));
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

TEST_F(UpdateRunTest, TrayLeftOpenIsPushedInAndCheckedAgain)
{
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& drive = AddDrive("tray=open,fault=1B#1:sense:4/00/00");
    StartUp();
    sequence->cmdUpdateClick();
    EXPECT_EQ(CheckStatuses(), (std::vector<std::string>{kCheckDisc, kTrayIn, kWaitingReady, kTrayIn, kWaitingReady}));
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kPushTrayIn, kUpdated}));
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

TEST_F(UpdateRunTest, ChkDiscOtherThanOneStartsTheWorkerAtOnce)
{
    Set(SettingKey::CHKDISC, '2');
    sim::VirtualDrive& drive = AddDrive("disc=1");
    StartUp();
    sequence->cmdUpdateClick();
    EXPECT_EQ(view.StatusCount(kCheckDisc), 0);
    EXPECT_EQ(sequence->RunningWorkers(), 1);
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_TRUE(drive.discPresent());
}

// Every other tray report reads open: the tray seems to open again after each load that
// closed it. A pass that ended without a word is followed by the request to push it in.
TEST_F(UpdateRunTest, TrayThatKeepsReopeningIsNeverPassedSilentlyTwice)
{
    Set(SettingKey::CHKDISC, '1');
    AddDrive("fault=4A#1:corrupt:5,fault=4A#3:corrupt:5,fault=4A#5:corrupt:5");
    StartUp();
    sequence->cmdUpdateClick();
    EXPECT_EQ(CheckStatuses(), (std::vector<std::string>{kCheckDisc, kTrayIn, kWaitingReady, kTrayIn, kWaitingReady,
                                                         kTrayIn, kWaitingReady}));
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kPushTrayIn, kUpdated}));
}

// A drive whose requests no longer get through could never end the check: it is given up at
// once, without another box, and nothing is written to it.
TEST_F(UpdateRunTest, DriveThatVanishesDuringTheCheckIsGivenUpAtOnce)
{
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& drive = AddDrive("disc=1");
    StartUp();
    view.Answer(MessageAnswer::Ok, [&] { drive.Disappear(); });
    sequence->cmdUpdateClick();

    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kRemoveDisc, kUpdateFailed}));
    EXPECT_EQ(view.StatusCount(kTrayOut), 1);
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(sequence->OutcomeOfSlot(0).verdict, DriveVerdict::GivenUp);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

// A disc that stays locked in brings its box back on every pass; from the third box on the
// person may give the drive up, which ends the check and the update without a byte written.
TEST_F(UpdateRunTest, LockedDiscOffersToGiveTheDriveUpFromTheThirdBox)
{
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& drive = AddDrive("disc=1,fault=1B#1+:sense:5/53/02");
    StartUp();
    view.Answer(MessageAnswer::Ok);
    view.Answer(MessageAnswer::Ok);
    view.Answer(MessageAnswer::No);
    sequence->cmdUpdateClick();

    ASSERT_EQ(view.MessageTexts(), (std::vector<std::string>{kDiscLocked, kDiscLocked, kDiscLocked, kUpdateFailed}));
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[1].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[2].buttons, MessageButtons::OkGiveUp);
    EXPECT_EQ(sequence->OutcomeOfSlot(0).verdict, DriveVerdict::GivenUp);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

TEST_F(UpdateRunTest, DriveThatCannotBeOpenedCountsAsFailedWithTheAdviceFirst)
{
    system.advice = "No permission to open /dev/sr0 for drive commands.";
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    system.SetOpenFails(0, true);
    sequence->cmdUpdateClick();

    EXPECT_EQ(view.MessageTexts(),
              (std::vector<std::string>{"No permission to open /dev/sr0 for drive commands.", kUpdateFailed}));
    EXPECT_EQ(view.messages[1].kind, MessageKind::Error);
    EXPECT_EQ(view.StatusCount(kInquiry), 1);
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_FALSE(sequence->AllSucceeded());
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

TEST_F(UpdateRunTest, AutomaticModeWithOneOfTwoDrivesFailing)
{
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& good = AddDrive();
    sim::VirtualDrive& failing = AddDrive("fault=3B#3+:sense:4/00/00");
    StartUp();
    EXPECT_EQ(sequence->UpdateCount(), 2);
    EXPECT_EQ(sequence->RunningWorkers(), 2);
    EXPECT_EQ(sequence->CurrentPhase(), Phase::Programming);

    ASSERT_TRUE(RunUntilUpdateOver());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].text, kUpdateFailed);
    EXPECT_EQ(view.StatusCount(kInquiry), 1);
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(good.flashState(), sim::FlashState::Good);
    EXPECT_EQ(failing.lastCommit().commitCount, 0u);
    EXPECT_EQ(view.entries, (std::vector<std::string>{TalvoreEntry(0, "sr0", "RN08"), TalvoreEntry(1, "sr1", "RN05")}));
    EXPECT_EQ(system.openDriveCount(), 0) << "automatic refresh closes the drives";
}

// Threads that cannot be made for one slot; the others run on the fixture's threads.
class ThreadsRefusingOneSlot : public WorkerThreads {
public:
    ThreadsRefusingOneSlot(WorkerThreads& threads, int refusedSlot) : threads(threads), refusedSlot(refusedSlot) {}
    bool Start(int slot, Parser& worker, WorkerEndHandler& handler) override
    {
        return slot != refusedSlot && threads.Start(slot, worker, handler);
    }
    void AbandonAndJoin() override { threads.AbandonAndJoin(); }

private:
    WorkerThreads& threads;
    const int refusedSlot;
};

// A drive whose worker's thread could not be made was sent no image and counts as failed; the
// update still ends, once, with the other drive's outcome.
TEST_F(UpdateRunTest, DriveWhoseWorkerCouldNotStartCountsAsFailed)
{
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& first = AddDrive();
    sim::VirtualDrive& second = AddDrive();
    ThreadsRefusingOneSlot threads(workerThreads, 1);
    sequence = std::make_unique<UpdateSequence>(system, Bytes(), view, threads, MadeUpProfiles::Allowed);
    sequence->StartUp();
    ASSERT_TRUE(RunUntilUpdateOver());

    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdateFailed});
    EXPECT_EQ(sequence->OutcomeOfSlot(0).verdict, DriveVerdict::Updated);
    EXPECT_EQ(sequence->OutcomeOfSlot(1).verdict, DriveVerdict::DownloadFailed);
    EXPECT_EQ(first.flashState(), sim::FlashState::Good);
    EXPECT_EQ(CountOpcode(second, kWriteBuffer), 0);
    sequence.reset();
}

// ---- Nothing else reaches a drive while it may be written ---------------------------------

// From the disc and tray check to the end of its worker the drive is held exclusively; the
// system is asked to hold off shutdown and sleep, naming the drives, from the first worker
// started until the last has ended, and the front end hears when drives may be written.
TEST_F(UpdateRunTest, DriveIsHeldExclusivelyAndShutdownHeldOffWhileWritten)
{
    Set(SettingKey::CHKDISC, '1');
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& first = AddDrive("disc=1");
    sim::VirtualDrive& second = AddDrive();
    view.Answer(MessageAnswer::Ok, [&] {
        EXPECT_EQ(system.OpenDrive("/dev/sr0"), platform::kInvalidDriveHandle) << "held during the check";
        EXPECT_TRUE(first.TakeDiscAway());
    });
    StartUp();
    ASSERT_TRUE(RunUntilUpdateOver());

    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kRemoveDisc, kUpdated}));
    EXPECT_EQ(system.shutdownInhibitors(),
              std::vector<std::string>{"Writing new firmware into /dev/sr0, /dev/sr1 (released)"});
    EXPECT_TRUE(ContainsInOrder(view.calls, {"flash underway", "timer on", "timer off",
                                             "message: " + std::string(kUpdated), "flash over"}));
    EXPECT_EQ(second.flashState(), sim::FlashState::Good);
    const platform::DriveHandle shared = system.OpenDrive("/dev/sr0");
    EXPECT_NE(shared, platform::kInvalidDriveHandle) << "given back after the update";
    system.CloseDrive(shared);
}

// A drive that another program holds gets nothing at all: its user is told which and why.
TEST_F(UpdateRunTest, DriveInUseElsewhereIsNamedAndLeftAlone)
{
    sim::VirtualDrive& drive = AddDrive();
    Set(SettingKey::WARNING, '0');
    StartUp();
    system.SetInUseElsewhere(0, true);
    const uint32_t commandsBefore = drive.commandCount();
    sequence->cmdUpdateClick();

    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{"/dev/sr0 is in use by another program.\nThis drive is "
                                                             "not updated.",
                                                             kUpdateFailed}));
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(sequence->OutcomeOfSlot(0).verdict, DriveVerdict::NotStarted);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
    EXPECT_LE(drive.commandCount() - commandsBefore, 2u) << "only the refresh's inquiry afterwards";
    EXPECT_TRUE(system.shutdownInhibitors().empty()) << "no drive was written";
}

// A stop asked for while drives are written starts no further drive; the ones running finish.
TEST_F(UpdateRunTest, StopRequestedStartsNoFurtherDrive)
{
    Set(SettingKey::CHKDISC, '1');
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& first = AddDrive();
    sim::VirtualDrive& second = AddDrive("disc=1");
    view.Answer(MessageAnswer::Ok, [&] {
        view.stopRequested = true;
        EXPECT_TRUE(second.TakeDiscAway());
    });
    StartUp();
    ASSERT_TRUE(RunUntilUpdateOver());

    EXPECT_EQ(first.flashState(), sim::FlashState::Good);
    EXPECT_EQ(CountOpcode(second, kWriteBuffer), 0);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
}

// Every drive of an update leaves one line in the system's journal: the program, the drive, the
// bank, the revisions before, wanted and reported, and for a failure the last command sent.
TEST_F(UpdateRunTest, EachDriveOfAnUpdateLeavesAJournalLine)
{
    Set(SettingKey::AUTOMODE, '1');
    AddDrive();
    AddDrive("fault=3B#3+:sense:4/00/00");
    AddDrive("fault=3C#2:short:8192");
    MakeSequence().SetPackageIdentity(std::string(64, 'a'));
    sequence->StartUp();
    ASSERT_TRUE(RunUntilUpdateOver());
    const std::string program = std::string("Norvik ") + NORVIK_VERSION + ": ";
    EXPECT_EQ(system.journal(),
              (std::vector<std::string>{
                  program + "/dev/sr0 TALVORE DVDRW KRX-407T: bank 1, revision RN05 to RN08, reports RN08: updated",
                  "error: " + program +
                      "/dev/sr1 TALVORE DVDRW KRX-407T: bank 1, revision RN05 to RN08, reports "
                      "nothing: the download failed; last command 3B0501004000004000000000 sense "
                      "4/00/00",
                  "error: " + program +
                      "/dev/sr2 TALVORE DVDRW KRX-407T: bank 1, revision RN05 to RN08, reports "
                      "nothing: the download failed; last command 3C0101004000004000000000 moved 8192 of "
                      "16384 bytes"}));

    // The same facts as fields: failure, node, model, bank, revisions before, wanted and
    // reported, outcome, last command and sense; the program's version and the package's identity.
    std::vector<std::string> fields;
    for (const platform::JournalRecord& r : system.journalRecords()) {
        fields.push_back(std::string(r.failure ? "failed " : "") + r.node + " " + r.model + " " +
                         std::to_string(r.bank) + " " + r.revisionBefore + " " + r.revisionWanted + " " +
                         r.revisionReported + " " + r.outcome + " " + r.lastCommand + " " + r.sense);
        EXPECT_EQ(r.version + std::string(" ") + r.packageSha256, NORVIK_VERSION + (" " + std::string(64, 'a')));
    }
    EXPECT_EQ(fields, (std::vector<std::string>{
                          "/dev/sr0 TALVORE DVDRW KRX-407T 1 RN05 RN08 RN08 updated  ",
                          "failed /dev/sr1 TALVORE DVDRW KRX-407T 1 RN05 RN08  download-failed "
                          "3B0501004000004000000000 4/00/00",
                          "failed /dev/sr2 TALVORE DVDRW KRX-407T 1 RN05 RN08  download-failed "
                          "3C0101004000004000000000 ",
                      }));
}

TEST_F(UpdateRunTest, AutomaticModeWithoutUpdatableDriveStartsNothing)
{
    Set(SettingKey::AUTOMODE, '1');
    SetNewRevision(0, "RN09");
    AddDrive("newrev=RN09");  // after the update no bank accepts the drive
    StartUp();
    ASSERT_TRUE(RunUntilUpdateOver());
    ASSERT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(view.selected, -1) << "no drive left to select";
    EXPECT_EQ(view.entries, std::vector<std::string>{TalvoreEntry(0, "sr0", "RN09")});

    const std::size_t callsBefore = view.calls.size();
    sequence->cmdUpdateClick();
    EXPECT_EQ(view.calls.size(), callsBefore);
    EXPECT_EQ(sequence->UpdateCount(), 0);
    EXPECT_EQ(sequence->CurrentPhase(), Phase::AtRest);
}

TEST_F(UpdateRunTest, RebootRequestsTheRestartAndEnds)
{
    Set(SettingKey::REBOOT, '1');
    AddDrive();
    StartUp();
    sequence->cmdUpdateClick();
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
    EXPECT_TRUE(sequence->RestartAccepted());
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::Restarted);
    EXPECT_EQ(view.status, kInquiry);
}

TEST_F(UpdateRunTest, RefusedRestartEndsAllTheSame)
{
    Set(SettingKey::REBOOT, '1');
    system.SetShutdownPrivilege(false);
    AddDrive();
    StartUp();
    sequence->cmdUpdateClick();
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(system.restartRequests().empty());
    EXPECT_FALSE(sequence->RestartAccepted());
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::Restarted);
    // The window's end stays silent; the journal keeps that the restart is still due.
    EXPECT_EQ(sequence->RestartAnswerGiven(), sys::RestartAnswer::PrivilegeNotHeld);
    EXPECT_EQ(system.journal().back(), std::string("error: Norvik ") + NORVIK_VERSION +
                                           ": the restart after the update was not made: this process may not "
                                           "restart the system; it is still due");
    EXPECT_STREQ(system.journalRecords().back().outcome, "restart-not-made");
}

TEST_F(UpdateRunTest, CloseApEndsSilently)
{
    Set(SettingKey::CLOSEAP, '1');
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    sequence->cmdUpdateClick();
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(system.restartRequests().empty());
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::ClosedAfterSuccess);
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

struct TickCase {
    int tick;
    const char* percent;
    const char* status;
};

TEST_F(UpdateRunTest, ProgressTicksShowPercentageAndDots)
{
    AddDrive();
    StartUp();
    const std::size_t callsAtRest = view.calls.size();
    sequence->tmrTimer();
    EXPECT_EQ(view.calls.size(), callsAtRest) << "no tick while no update runs";

    sequence->cmdUpdateClick();
    const TickCase cases[] = {
        {1, "0 %", "Programming ."},    {3, "0 %", "Programming ..."}, {4, "1 %", "Programming ...."},
        {10, "3 %", "Programming "},    {11, "3 %", "Programming ."},  {329, "99 %", "Programming ........."},
        {330, "100 %", "Programming "},
    };
    int tick = 0;
    for (const TickCase& expected : cases) {
        while (tick < expected.tick) {
            sequence->tmrTimer();
            ++tick;
        }
        EXPECT_EQ(view.position, expected.tick);
        EXPECT_EQ(view.percent, expected.percent) << expected.tick;
        EXPECT_EQ(view.status, expected.status) << expected.tick;
    }
    for (int later = 0; later < 3; ++later) {
        sequence->tmrTimer();
        EXPECT_EQ(view.position, 330);
        EXPECT_EQ(view.percent, "100 %");
        EXPECT_EQ(view.status, "Programming ..........");
    }
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdated});
}

// The first drive's worker ends while the second drive's check waits in a message box: its
// end is counted there, and the completion waits for the second drive's worker.
TEST_F(UpdateRunTest, WorkerEndingDuringALaterDrivesCheckDoesNotCompleteTheUpdate)
{
    Set(SettingKey::AUTOMODE, '1');
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& first = AddDrive();
    sim::VirtualDrive& second = AddDrive("disc=1");
    bool firstEnded = false;
    int inquiriesDuringCheck = -1;
    Phase phaseDuringCheck = Phase::AtRest;
    view.Answer(MessageAnswer::Ok, [&] {
        firstEnded = PumpUntil([&] { return sequence->RunningWorkers() == 0; });
        inquiriesDuringCheck = view.StatusCount(kInquiry);
        phaseDuringCheck = sequence->CurrentPhase();
        EXPECT_TRUE(second.TakeDiscAway());
    });
    StartUp();

    EXPECT_TRUE(firstEnded);
    EXPECT_EQ(inquiriesDuringCheck, 0);
    EXPECT_EQ(phaseDuringCheck, Phase::Preparing);
    EXPECT_EQ(sequence->RunningWorkers(), 1);
    EXPECT_EQ(sequence->CurrentPhase(), Phase::Programming);

    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(view.StatusCount(kInquiry), 1);
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kRemoveDisc, kUpdated}));
    EXPECT_EQ(first.flashState(), sim::FlashState::Good);
    EXPECT_EQ(second.flashState(), sim::FlashState::Good);
    EXPECT_EQ(sequence->RunningWorkers(), 0);
}

// Here the second drive is given up in its check after the first worker has ended: no worker
// is left to end, so the update completes at once, once.
TEST_F(UpdateRunTest, EveryWorkerEndedDuringPreparationCompletesOnce)
{
    Set(SettingKey::AUTOMODE, '1');
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& first = AddDrive();
    AddDrive("disc=1");
    view.Answer(MessageAnswer::No, [&] { PumpUntil([&] { return sequence->RunningWorkers() == 0; }); });
    StartUp();

    EXPECT_EQ(view.StatusCount(kInquiry), 1);
    EXPECT_EQ(view.MessageTexts(), (std::vector<std::string>{kRemoveDisc, kUpdateFailed}));
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(first.flashState(), sim::FlashState::Good);
    EXPECT_EQ(view.terminateCount, 1);
}

TEST_F(UpdateRunTest, MoreThanSixteenDrivesUpdatesTheFirstSixteenAndSaysSo)
{
    Set(SettingKey::AUTOMODE, '1');
    for (int i = 0; i < 18; ++i) AddDrive();
    StartUp();
    EXPECT_EQ(sequence->UpdateCount(), 16);
    EXPECT_EQ(sequence->RunningWorkers(), 16);
    ASSERT_TRUE(RunUntilUpdateOver());

    EXPECT_EQ(view.MessageTexts(),
              (std::vector<std::string>{"This utility updates at most 16 drives at a time.\n"
                                        "The first 16 drives take part in this update; 2 further drive(s) found on "
                                        "this system keep their firmware.",
                                        kUpdated}));
    EXPECT_EQ(view.messages[0].kind, MessageKind::Information);
    ASSERT_EQ(view.entries.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(system.drive(i).flashState(), sim::FlashState::Good) << i;
        char root[8];
        std::snprintf(root, sizeof root, "sr%d", i);
        EXPECT_EQ(view.entries[static_cast<std::size_t>(i)], TalvoreEntry(i, root, "RN08"));
    }
    EXPECT_TRUE(system.drive(16).trace().empty());
    EXPECT_TRUE(system.drive(17).trace().empty());
}

// The sequence shows and composes the texts in the view's language, except a format whose
// conversions the translation does not keep: printf would read what was never passed.
TEST_F(UpdateRunTest, TextsComeInTheViewsLanguageButAFormatOnlyWithItsConversions)
{
    Set(SettingKey::AUTOMODE, '1');
    for (int i = 0; i < 17; ++i) AddDrive();
    view.translations = {{"This utility updates at most 16 drives at a time.\n"
                          "The first 16 drives take part in this update; %d further drive(s) found on this system "
                          "keep their firmware.",
                          "Noch %s Laufwerke %n"},
                         {kUpdated, "Aktualisiert !"},
                         {"Programming ", "Programmieren "},
                         {kInquiry, "Abfrage ..."}};
    StartUp();
    sequence->tmrTimer();
    EXPECT_EQ(view.status, "Programmieren .");
    ASSERT_TRUE(RunUntilUpdateOver());

    EXPECT_EQ(view.MessageTexts(),
              (std::vector<std::string>{"This utility updates at most 16 drives at a time.\n"
                                        "The first 16 drives take part in this update; 1 further drive(s) found on "
                                        "this system keep their firmware.",
                                        "Aktualisiert !"}));
    EXPECT_GE(view.StatusCount("Abfrage ..."), 1);
    EXPECT_EQ(view.StatusCount(kInquiry), 0);
}

TEST_F(UpdateRunTest, SequenceDestroyedDuringAnUpdateWaitsForItsWorkers)
{
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    sequence->cmdUpdateClick();
    ASSERT_EQ(sequence->RunningWorkers(), 1);
    sequence.reset();
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good) << "the worker ran to its end before its object went";
    EXPECT_EQ(system.openDriveCount(), 0);
}

}  // namespace
}  // namespace sequencetest
