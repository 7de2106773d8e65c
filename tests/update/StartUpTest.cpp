// The start-up of the sequence: caption, refusals, drive list, verdict on the selected drive,
// notice.

#include <gtest/gtest.h>

#include "SequenceFixture.h"
#include "update/SequenceTexts.h"

namespace sequencetest {
namespace {

using Phase = UpdateSequence::Phase;

class StartUpTest : public SequenceFixture {};

TEST_F(StartUpTest, NoFirmwareIsRefusedBeforeAnyDriveIsLookedAt)
{
    sim::VirtualDrive& drive = AddDrive();
    Set(SettingKey::HOW_MANY_BIN, '0');
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[0].text, "No F/W in executable !");
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::NoFirmware);
    EXPECT_TRUE(sequence->TerminationRequested());
    EXPECT_TRUE(drive.trace().empty());
    EXPECT_EQ(sequence->MainDevice(), nullptr);
    EXPECT_EQ(view.percent, "100%") << "the status texts are not touched";
}

TEST_F(StartUpTest, BankOutsideTheImageAreaIsRefusedBeforeAnyDriveIsLookedAt)
{
    sim::VirtualDrive& drive = AddDrive();
    SetNumber(payload::BinSizeValueOffset(0), 2000000);
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].text, "Invalid F/W package in executable !");
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::InvalidPackage);
    EXPECT_TRUE(drive.trace().empty());
}

// A bank that the download would cut short, and two banks that share bytes.
struct InvalidLayout {
    const char* name;
    char howManyBin;
    long size1;
    long start2;
    long size2;
};

void PrintTo(const InvalidLayout& layout, std::ostream* out) { *out << layout.name; }

class InvalidLayoutAtStartUp : public SequenceFixture, public testing::WithParamInterface<InvalidLayout> {};

TEST_P(InvalidLayoutAtStartUp, IsRefusedBeforeAnyDriveIsLookedAt)
{
    const InvalidLayout& layout = GetParam();
    sim::VirtualDrive& drive = AddDrive();
    Set(SettingKey::HOW_MANY_BIN, layout.howManyBin);
    SetNumber(payload::BinSizeValueOffset(0), layout.size1);
    SetNumber(payload::BinStartValueOffset(1), layout.start2);
    SetNumber(payload::BinSizeValueOffset(1), layout.size2);
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].text, "Invalid F/W package in executable !");
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::InvalidPackage);
    EXPECT_TRUE(drive.trace().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, InvalidLayoutAtStartUp,
                         testing::Values(InvalidLayout{"TruncatedBank", '1', 1048575, 0, 0},
                                         InvalidLayout{"OverlappingBanks", '2', 1048576, 1032192, 16384}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartUpTest, NoMatchedDriveListsTheDetectedDrives)
{
    AddDrive("rev=RN09");
    AddDrive("product=DVDRW KRX-999T");
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[0].text, std::string(kNoMatchHead) +
                                         " 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09\n"
                                         " 0-0-1-0 sr1TALVORE DVDRW KRX-999T   RN05\n");
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::NoMatchedDrive);
    EXPECT_EQ(view.entries.size(), 2u);
    EXPECT_EQ(view.selected, -1);
}

TEST_F(StartUpTest, MachineWithoutDrivesListsNothingAfterTheHeading)
{
    StartUp();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kNoMatchHead);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::NoMatchedDrive);
    EXPECT_TRUE(view.entries.empty());
}

TEST_F(StartUpTest, ImagePlaceholderMatchesNoDrive)
{
    std::memcpy(block->imageArea, "BANK_START_FROM_HERE", 20);
    AddDrive();
    StartUp();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, std::string(kNoMatchHead) + TalvoreEntry(0, "sr0", "RN05") + "\n");
}

// The profiles a program built from source carries were made up for the drive model: on the
// machine's own drives they count like an image area without firmware, and the user is told why.
TEST_F(StartUpTest, PlaceholderProfilesUpdateNoRealDrive)
{
    madeUpProfiles = MadeUpProfiles::Refused;
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    ASSERT_EQ(view.MessageTexts(), (std::vector<std::string>{std::string(texts::kPlaceholderProfiles),
                                                             kNoMatchHead + TalvoreEntry(0, "sr0", "RN05") + "\n"}));
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::NoMatchedDrive);
    EXPECT_TRUE(sequence->ProfilesArePlaceholders());
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

TEST_F(StartUpTest, NoticeWithTwoPointsAnsweredNoEndsBeforeAnyUpdate)
{
    sim::VirtualDrive& drive = AddDrive();
    Set(SettingKey::AUTOMODE, '1');
    view.Answer(MessageAnswer::No);
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(view.messages[0].text, kNotice);
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::NoticeDeclined);
    EXPECT_EQ(sequence->UpdateCount(), 0);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
    EXPECT_FALSE(view.timerRunning);
}

TEST_F(StartUpTest, NoticeWithThreePointsAnsweredYesLeavesTheWindowAtRest)
{
    AddDrive();
    Set(SettingKey::NBWARNING, '1');
    view.Answer(MessageAnswer::Yes);
    StartUp();

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text,
              "This flash utility only supports TALVORE DVDRW KRX-407T drive.\n\n"
              "NOTICE : \n\n"
              "1> Please REMOVE disc and close all applications before running this utility !\n"
              "2> Don't turn off the system while flash is in progress. \n"
              "3> Don't remove the adapter and battery during F/W reflash processing. \n"
              "\nDo you wish to continue ?");
    EXPECT_EQ(view.terminateCount, 0);
    EXPECT_EQ(sequence->CurrentPhase(), Phase::AtRest);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::Undecided);
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(view.percent, "0 %");
    EXPECT_EQ(view.position, 0);
}

TEST_F(StartUpTest, WarningOtherThanOneShowsNoNotice)
{
    AddDrive();
    Set(SettingKey::WARNING, '2');
    StartUp();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.terminateCount, 0);
}

TEST_F(StartUpTest, CaptionIsThePackagesOrTheVersionFallback)
{
    AddDrive();
    Set(SettingKey::WARNING, '0');
    StartUp();
    EXPECT_EQ(view.caption, "Flash Program for TALVORE DVDRW KRX-407T");

    SetCaption("APP_TITLE_HERE");
    StartUp();
    EXPECT_EQ(view.caption, "Norvik v2.0.0");

    SetCaption("APP_TITLE_HERE, still unfilled");
    StartUp();
    EXPECT_EQ(view.caption, "Norvik v2.0.0");

    SetCaption("APP_TITLE_HER");
    StartUp();
    EXPECT_EQ(view.caption, "APP_TITLE_HER");
}

TEST_F(StartUpTest, CaptionComesBeforeTheFirmwareRefusal)
{
    Set(SettingKey::HOW_MANY_BIN, '0');
    StartUp();
    ASSERT_GE(view.calls.size(), 2u);
    EXPECT_EQ(view.calls[0], "caption: Flash Program for TALVORE DVDRW KRX-407T");
    EXPECT_EQ(view.calls[1], "message: No F/W in executable !");
}

TEST_F(StartUpTest, EntriesShowAddressesRootsAndIdentification)
{
    AddDrive("host=1,path=2,target=3,lun=4,root=/dev/sr0");
    AddDrive("host=1,path=2,target=5,lun=0,root=D:\\,rev=RN09");
    AddDrive("host=3,target=0,lun=0,fault=12#1+:fail");  // never identifies itself
    Set(SettingKey::WARNING, '0');
    StartUp();

    ASSERT_EQ(view.entries.size(), 3u);
    EXPECT_EQ(view.entries[0], " 1-2-3-4 sr0TALVORE DVDRW KRX-407T   RN05");
    EXPECT_EQ(view.entries[1], " 1-2-5-0 D:TALVORE DVDRW KRX-407T   RN09");
    EXPECT_EQ(view.entries[2], " 3-0-0-0 sr2" + std::string(24, ' ') + "     ");
    EXPECT_EQ(sequence->DetectedDrives(), view.entries[0] + "\n" + view.entries[1] + "\n" + view.entries[2] + "\n");
}

TEST_F(StartUpTest, DrivesFoundThroughAspiHaveNoRootLabel)
{
    system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);
    sim::AspiSettings aspi;
    aspi.presence = sim::AspiPresence::Present;
    system.SetAspiManager(aspi);
    AddDrive("host=0,target=1,lun=0");
    Set(SettingKey::WARNING, '0');
    StartUp();

    ASSERT_EQ(view.entries.size(), 1u);
    EXPECT_EQ(view.entries[0], " 0-0-1-0 TALVORE DVDRW KRX-407T   RN05");
}

TEST_F(StartUpTest, FirstUpdatableDriveIsSelectedAfterARefusedOne)
{
    AddDrive("rev=RN09");
    AddDrive("rev=RN05");
    AddDrive("rev=RN06");
    Set(SettingKey::WARNING, '0');
    StartUp();

    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(view.sentence, "It will be updated from             to");
    EXPECT_EQ(view.sentenceColour, TextColour::Black);
    EXPECT_TRUE(view.revisionsVisible);
    EXPECT_EQ(view.newRevision, "RN08");
    EXPECT_EQ(view.oldRevision, "RN05");
    EXPECT_TRUE(view.updateEnabled);
    EXPECT_EQ(sequence->MainDevice()->CurrentIndex(), 1) << "the chosen drive is selected";
    EXPECT_EQ(sequence->UpdatableDriveCount(), 2);
}

TEST_F(StartUpTest, ChoosingARefusedDriveAndBackSwitchesTheVerdict)
{
    AddDrive("rev=RN05");
    AddDrive("rev=RN09");
    Set(SettingKey::WARNING, '0');
    StartUp();
    ASSERT_EQ(view.selected, 0);

    view.selected = 1;
    sequence->cboDrivesChange();
    EXPECT_FALSE(view.updateEnabled);
    EXPECT_FALSE(view.revisionsVisible);
    EXPECT_EQ(view.sentence, "This drive is not allowed to be updated.");
    EXPECT_EQ(view.sentenceColour, TextColour::Maroon);
    EXPECT_EQ(sequence->MainDevice()->CurrentIndex(), 0) << "a refused drive is not selected";

    view.selected = 0;
    sequence->cboDrivesChange();
    EXPECT_TRUE(view.updateEnabled);
    EXPECT_TRUE(view.revisionsVisible);
    EXPECT_EQ(view.sentence, "It will be updated from             to");
    EXPECT_EQ(view.sentenceColour, TextColour::Black);
    EXPECT_EQ(view.newRevision, "RN08");
    EXPECT_EQ(view.oldRevision, "RN05");
}

TEST_F(StartUpTest, StartUpStepsRunInOrder)
{
    AddDrive();
    view.Answer(MessageAnswer::Yes);
    StartUp();
    const std::vector<std::string> expected = {
        "caption: Flash Program for TALVORE DVDRW KRX-407T",
        "status: ",
        "percent: 0 %",
        "progress: 0/100",
        "clear drives",
        "drive: " + TalvoreEntry(0, "sr0", "RN05"),
        "select: 0",
        "update on",
        "sentence: It will be updated from             to",
        "revisions: RN08 RN05",
        std::string("message: ") + kNotice,
    };
    EXPECT_EQ(view.calls, expected);
}

TEST_F(StartUpTest, CloseEndsTheProgram)
{
    AddDrive();
    Set(SettingKey::WARNING, '0');
    StartUp();
    sequence->cmdCloseClick();
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::Closed);
}

TEST_F(StartUpTest, PermissionAdviceComesOnceBeforeTheNoMatchMessage)
{
    system.advice = "No permission to open /dev/sr0 for drive commands.";
    StartUp();

    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].text, "No permission to open /dev/sr0 for drive commands.");
    EXPECT_EQ(view.messages[1].text, kNoMatchHead);
    EXPECT_EQ(view.terminateCount, 1);
}

TEST_F(StartUpTest, PermissionAdviceIsNotShownWhileADriveCanBeUpdated)
{
    system.advice = "No permission to open /dev/sr1 for drive commands.";
    AddDrive();
    Set(SettingKey::WARNING, '0');
    StartUp();
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace sequencetest
