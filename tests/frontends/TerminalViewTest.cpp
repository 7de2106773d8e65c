// The terminal view of norvik-cli: who answers which message, how the answers are read, and
// how the progress line, the drive list and the verdict are printed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "frontends/cli/TerminalView.h"
#include "frontends/cli/TransferCounter.h"
#include "update/SequenceTexts.h"

namespace {

using cli::TerminalSettings;
using cli::TerminalView;

constexpr TerminalSettings kNobody{false, false, false, true};
constexpr TerminalSettings kAssumeYes{true, false, false, true};
constexpr TerminalSettings kUser{false, true, false, true};
constexpr TerminalSettings kUserInPlace{false, true, true, true};

// A view writing into a temporary file and reading the given input from another.
class ViewHarness {
public:
    explicit ViewHarness(const TerminalSettings& settings, const std::string& input = "")
        : out(std::tmpfile()), in(std::tmpfile())
    {
        std::fwrite(input.data(), 1, input.size(), in);
        std::rewind(in);
        view = std::make_unique<TerminalView>(out, in, settings);
    }
    ~ViewHarness()
    {
        view.reset();
        std::fclose(out);
        std::fclose(in);
    }

    std::string Output()
    {
        std::fflush(out);
        const long end = std::ftell(out);
        std::string text(static_cast<std::size_t>(end), '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fseek(out, end, SEEK_SET);
        return text;
    }
    // What is left of the input.
    std::string Unread()
    {
        std::string rest;
        int c = 0;
        while ((c = std::fgetc(in)) != EOF) rest += static_cast<char>(c);
        return rest;
    }

    TerminalView& operator*() { return *view; }
    TerminalView* operator->() { return view.get(); }

private:
    std::FILE* out;
    std::FILE* in;
    std::unique_ptr<TerminalView> view;
};

MessageAnswer Ask(ViewHarness& view, const char* text = "Do you wish to continue ?")
{
    return view->ShowMessage(MessageKind::Warning, texts::kWarningTitle, text, MessageButtons::YesNo);
}

MessageAnswer Warn(ViewHarness& view, std::string_view text = texts::kRemoveDisc)
{
    return view->ShowMessage(MessageKind::Warning, texts::kWarningTitle, text, MessageButtons::Ok);
}

// ---- Questions -----------------------------------------------------------------------------

TEST(TerminalViewQuestions, YesOptionAnswersYesWithoutReading)
{
    ViewHarness view(kAssumeYes, "n\n");
    EXPECT_EQ(Ask(view), MessageAnswer::Yes);
    EXPECT_EQ(view.Output(), "Warning: Do you wish to continue ? [y/N] y (--yes)\n");
    EXPECT_EQ(view.Unread(), "n\n");
}

TEST(TerminalViewQuestions, WithoutATerminalEveryQuestionIsNo)
{
    ViewHarness view(kNobody, "y\n");
    EXPECT_EQ(Ask(view), MessageAnswer::No);
    EXPECT_EQ(Ask(view), MessageAnswer::No);
    EXPECT_EQ(view.Output(),
              "Warning: Do you wish to continue ? [y/N] n (no terminal to ask; --yes answers Yes)\n"
              "Warning: Do you wish to continue ? [y/N] n (no terminal to ask; --yes answers Yes)\n");
    EXPECT_EQ(view.Unread(), "y\n");
}

struct TypedAnswer {
    const char* typed;
    MessageAnswer answer;
};

class TerminalViewTypedAnswer : public testing::TestWithParam<TypedAnswer> {};

TEST_P(TerminalViewTypedAnswer, IsReadFromTheTerminal)
{
    ViewHarness view(kUser, GetParam().typed);
    EXPECT_EQ(Ask(view), GetParam().answer) << "typed \"" << GetParam().typed << "\"";
    EXPECT_EQ(view.Output().rfind("Warning: Do you wish to continue ? [y/N] ", 0), 0u) << view.Output();
}

INSTANTIATE_TEST_SUITE_P(Answers, TerminalViewTypedAnswer,
                         testing::Values(TypedAnswer{"y\n", MessageAnswer::Yes},
                                         TypedAnswer{"yes\n", MessageAnswer::Yes},
                                         TypedAnswer{"Y\n", MessageAnswer::Yes},
                                         TypedAnswer{"  YES \r\n", MessageAnswer::Yes},
                                         TypedAnswer{"n\n", MessageAnswer::No}, TypedAnswer{"\n", MessageAnswer::No},
                                         TypedAnswer{"yep\n", MessageAnswer::No},
                                         TypedAnswer{"ok\n", MessageAnswer::No}, TypedAnswer{"", MessageAnswer::No}));

TEST(TerminalViewQuestions, AnOverlongAnswerIsDroppedWhole)
{
    ViewHarness view(kUser, std::string(40, 'y') + "\ny\n");
    EXPECT_EQ(Ask(view), MessageAnswer::No);
    EXPECT_EQ(Ask(view), MessageAnswer::Yes) << "the rest of the long line must not count as the next answer";
}

TEST(TerminalViewQuestions, EndOfInputIsNoAndEndsThePromptLine)
{
    ViewHarness view(kUser, "");
    EXPECT_EQ(Ask(view), MessageAnswer::No);
    EXPECT_EQ(view.Output(), "Warning: Do you wish to continue ? [y/N] \n");
}

// ---- Messages with OK ----------------------------------------------------------------------

TEST(TerminalViewMessages, TextsAreShownWordForWordWithTheirKind)
{
    ViewHarness view(kUser, "");
    EXPECT_EQ(view->ShowMessage(MessageKind::Error, texts::kErrorTitle, "No F/W in executable !", MessageButtons::Ok),
              MessageAnswer::Ok);
    EXPECT_EQ(view->ShowMessage(MessageKind::Information, texts::kInformationTitle,
                                "Firmware has been updated successfully !", MessageButtons::Ok),
              MessageAnswer::Ok);
    view->ShowMessage(MessageKind::Error, texts::kErrorTitle, "No matched drive detected !\nDetected drives :\n a\n",
                      MessageButtons::Ok);
    EXPECT_EQ(view.Output(),
              "Error: No F/W in executable !\n"
              "Information: Firmware has been updated successfully !\n"
              "Error: No matched drive detected !\nDetected drives :\n a\n");
}

// Drives and packages give these texts: a control byte must not reach the terminal as one.
TEST(TerminalViewMessages, ControlBytesFromDrivesAndPackagesAreShownEscaped)
{
    ViewHarness view(kNobody);
    view->SetCaption("Flash \x1B]0;title\x07");
    view->ClearDriveList();
    view->AddDriveEntry(" 0-0-0-0 sr0\x9B[2J\nDVDRW");
    view->SelectDriveEntry(0);
    view->ShowUpdateSentence(texts::kWillBeUpdated, TextColour::Black);
    view->ShowRevisions("RN\r8", "RN\x7F");
    view->ShowMessage(MessageKind::Error, texts::kErrorTitle, "line\none\x1B[31m\\", MessageButtons::Ok);
    EXPECT_EQ(view.Output(),
              "Flash \\x1B]0;title\\x07\n"
              "Drives:\n>  0  0-0-0-0 sr0\\x9B[2J\\x0ADVDRW\n"
              "It will be updated from RN\\x7F to RN\\x0D8\n"
              "Error: line\none\\x1B[31m\\\n");
}

TEST(TerminalViewMessages, ErrorsAndInformationWaitForNobody)
{
    ViewHarness view(kUser, "q\n");
    view->ShowMessage(MessageKind::Error, texts::kErrorTitle, texts::kUpdateFailed, MessageButtons::Ok);
    view->ShowMessage(MessageKind::Information, texts::kInformationTitle, texts::kUpdated, MessageButtons::Ok);
    EXPECT_EQ(view.Unread(), "q\n");
}

TEST(TerminalViewMessages, UserAcknowledgesAWarningWithEnterOrGivesTheDriveUp)
{
    ViewHarness view(kUser, "\nq\n");
    EXPECT_EQ(Warn(view), MessageAnswer::Ok);
    EXPECT_EQ(Warn(view), MessageAnswer::No);
    EXPECT_EQ(Warn(view), MessageAnswer::No) << "the end of the input gives the drive up";
    EXPECT_NE(view.Output().find("Warning: Please remove the disc.\nPress Enter when done"), std::string::npos)
        << view.Output();
}

TEST(TerminalViewMessages, WithoutATerminalAWarningGivesTheDriveUp)
{
    ViewHarness view(kNobody);
    EXPECT_EQ(Warn(view, texts::kPushTrayIn), MessageAnswer::No);
    EXPECT_EQ(view.Output(),
              "Warning: Please push the tray in.\n(no terminal to answer: the drive is given up; --yes answers OK)\n");
}

TEST(TerminalViewMessages, YesOptionAcknowledgesAFewTimesPerDrive)
{
    ViewHarness view(kAssumeYes);
    view->SetStatus(texts::kCheckDisc);
    for (int i = 0; i < TerminalView::kAutomaticAcknowledgements; ++i) EXPECT_EQ(Warn(view), MessageAnswer::Ok) << i;
    EXPECT_EQ(Warn(view), MessageAnswer::No) << "a drive that never gets ready must not keep the run for ever";
    EXPECT_NE(view.Output().find("the drive is given up"), std::string::npos);

    view->SetStatus(texts::kCheckDisc);  // the next drive's check
    EXPECT_EQ(Warn(view, texts::kDiscLocked), MessageAnswer::Ok);
}

// ---- The progress line ---------------------------------------------------------------------

void Tick(ViewHarness& view, int position, const char* percent, const char* status)
{
    view->SetProgress(position, 330);
    view->SetPercent(percent);
    view->SetStatus(status);
}

// Without a terminal and without a data count (the ASPI route): a line when the phase (the status
// without its ticking dots) or the percentage changes.
TEST(TerminalViewProgress, PlainLinesPerPhaseAndPercentage)
{
    ViewHarness view(kNobody);
    Tick(view, 1, "0 %", "Programming .");
    Tick(view, 2, "0 %", "Programming ..");
    Tick(view, 330, "100 %", "Programming ");
    view->SetStatus("Programming ..........");
    view->SetStatus("Programming ..........");  // later ticks at the maximum: nothing new
    Tick(view, 165, "50 %", "Programming .....");
    EXPECT_EQ(view.Output(),
              "[                              ]   0 %  Programming\n"
              "[##############################] 100 %  Programming\n"
              "[###############               ]  50 %  Programming\n");
}

// Paced by the image data moved: the programming's first line when the firmware starts, then one
// line per 10 % reached, each step its own line however much moved between two ticks, the share
// never past the whole; the next phase keeps the share.
TEST(TerminalViewProgress, DataPacedLinesStepByTenPercent)
{
    constexpr uint64_t kGoal = 2 * 1048576;  // one drive: the image written and read back
    cli::TransferCounter transfers;
    TerminalSettings settings = kNobody;
    settings.transfers = &transfers;
    ViewHarness view(settings);
    view->SetTransferGoal([] { return kGoal; });
    const auto move = [&transfers](uint64_t bytes) {
        platform::PassThroughRequest request{};
        request.cdb[0] = 0x3B;
        request.transferred = static_cast<uint32_t>(bytes);
        transfers.Note(request, true);
    };
    view->FlashUnderway(true);
    move(kGoal * 15 / 100);
    Tick(view, 1, "0 %", "Programming .");
    Tick(view, 2, "0 %", "Programming ..");
    move(kGoal * 23 / 100);  // 38 %: two steps between ticks
    Tick(view, 3, "0 %", "Programming ...");
    move(kGoal);  // a second pass: still the whole at most
    Tick(view, 4, "1 %", "Programming ....");
    view->FlashUnderway(false);
    view->SetStatus(texts::kInquiry);
    std::string expected = "[                              ]   0 %  Programming\n";
    for (int step = 10; step <= 100; step += 10) {
        char line[64];
        std::snprintf(line, sizeof line, "[%-30s] %3d %%  Programming\n", std::string(step * 30 / 100, '#').c_str(),
                      step);
        expected += line;
    }
    expected += "[##############################] 100 %  Inquiry\n";
    EXPECT_EQ(view.Output(), expected);
}

TEST(TerminalViewProgress, OnATerminalOneLineIsRewrittenInPlace)
{
    ViewHarness view(kUserInPlace);
    Tick(view, 1, "0 %", "Programming .");
    Tick(view, 2, "0 %", "Programming ..");
    Tick(view, 2, "0 %", "Programming ..");
    view->ShowMessage(MessageKind::Error, texts::kErrorTitle, texts::kUpdateFailed, MessageButtons::Ok);
    EXPECT_EQ(view.Output(),
              "\r\033[K[                              ]   0 %  Programming ."
              "\r\033[K[                              ]   0 %  Programming .."
              "\nError: Unable to flash firmware. Please contact with your vendor !\n");
}

TEST(TerminalViewProgress, EmptyStatusPrintsNothing)
{
    ViewHarness view(kNobody);
    view->SetStatus("");
    view->SetPercent("0 %");
    view->SetProgress(0, 100);
    view->SetStatus("");
    EXPECT_EQ(view.Output(), "");
}

TEST(TerminalViewProgress, StatusIsShownAgainAfterAMessage)
{
    ViewHarness view(kAssumeYes);
    view->SetPercent("0 %");
    view->SetProgress(0, 100);
    view->SetStatus(texts::kTrayIn);
    Warn(view, texts::kPushTrayIn);
    view->SetStatus(texts::kTrayIn);
    EXPECT_EQ(view.Output(),
              "[                              ]   0 %  Tray In\n"
              "Warning: Please push the tray in.\nOK (--yes)\n"
              "[                              ]   0 %  Tray In\n");
}

// The program's loop sleeps until the next tick is due and runs it: three ticks take 300 ms at
// least; a tick that came late is run once, not made up for; none comes after the timer stopped.
TEST(TerminalViewProgress, TimerTicksEveryHundredMillisecondsWhileRunning)
{
    using Clock = cli::TerminalView::Clock;
    ViewHarness view(kNobody);
    int ticks = 0;
    view->SetTickHandler([&ticks] { ++ticks; });
    const Clock::time_point start = Clock::now();
    view->SetProgressTimer(true);
    view->RunDueTick(start);
    EXPECT_EQ(ticks, 0) << "not due yet";
    while (ticks < 3) {
        std::this_thread::sleep_until(view->NextTick());
        view->RunDueTick(Clock::now());
    }
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));

    const Clock::time_point late = Clock::now() + std::chrono::seconds(1);
    view->RunDueTick(late);
    view->RunDueTick(late);
    EXPECT_EQ(ticks, 4);
    EXPECT_GT(view->NextTick(), late);

    view->SetProgressTimer(false);
    view->RunDueTick(late + std::chrono::seconds(1));
    EXPECT_EQ(ticks, 4) << "no tick after the timer stopped";
}

// ---- The drive list and the verdict --------------------------------------------------------

const char kFirst[] = " 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN05";
const char kSecond[] = " 0-0-1-0 sr1TALVORE DVDRW KRX-407T   RN09";

void FillList(ViewHarness& view, int selected)
{
    view->ClearDriveList();
    view->AddDriveEntry(kFirst);
    view->AddDriveEntry(kSecond);
    view->SelectDriveEntry(selected);
}

TEST(TerminalViewDriveList, ListAndVerdictComeBeforeTheNextMessage)
{
    ViewHarness view(kNobody);
    FillList(view, 0);
    view->ShowUpdateSentence(texts::kWillBeUpdated, TextColour::Black);
    view->ShowRevisions("RN08", "RN05");
    EXPECT_EQ(view.Output(), "") << "nothing is printed before it is complete";
    Ask(view);
    EXPECT_EQ(view.Output().substr(0, view.Output().find("Warning")), std::string("Drives:\n>  0 ") + kFirst +
                                                                          "\n   1 " + kSecond +
                                                                          "\nIt will be updated from RN05 to RN08\n");
}

TEST(TerminalViewDriveList, RefusedDriveShowsTheRefusal)
{
    ViewHarness view(kNobody);
    FillList(view, 1);
    view->HideRevisions();
    view->ShowUpdateSentence(texts::kNotAllowed, TextColour::Maroon);
    view->ShowPending();
    EXPECT_EQ(view.Output(), std::string("Drives:\n   0 ") + kFirst + "\n>  1 " + kSecond +
                                 "\nThis drive is not allowed to be updated.\n");
}

TEST(TerminalViewDriveList, ListIsPrintedAgainOnlyWhenItChanged)
{
    ViewHarness view(kNobody);
    FillList(view, 0);
    view->ShowPending();
    view->SelectDriveEntry(0);
    view->ShowPending();
    const std::size_t once = view.Output().size();
    view->SelectDriveEntry(1);
    view->ShowPending();
    EXPECT_EQ(view.Output().substr(once), std::string("Drives:\n   0 ") + kFirst + "\n>  1 " + kSecond + "\n");
    EXPECT_EQ(view->SelectedDriveEntry(), 1);
    EXPECT_EQ(view->DriveEntryCount(), 2);
}

TEST(TerminalViewDriveList, RefreshedListDropsTheVerdictOfTheOldOne)
{
    ViewHarness view(kNobody);
    view->ShowUpdateSentence(texts::kWillBeUpdated, TextColour::Black);
    view->ShowRevisions("RN08", "RN05");
    FillList(view, 0);  // the list read again after an update
    view->Terminate();
    EXPECT_EQ(view.Output(), std::string("Drives:\n>  0 ") + kFirst + "\n   1 " + kSecond + "\n");
    EXPECT_TRUE(view->TerminationRequested());
}

TEST(TerminalViewDriveList, FinishDropsWhatIsStillWaiting)
{
    ViewHarness view(kNobody);
    view->ShowUpdateSentence(texts::kWillBeUpdated, TextColour::Black);
    view->ShowRevisions("RN08", "RN08");
    view->Finish();
    EXPECT_EQ(view.Output(), "");
}

TEST(TerminalViewDriveList, ListCommandPrintsNoWindow)
{
    ViewHarness view(TerminalSettings{false, false, false, false});
    view->SetCaption("Flash Program for TALVORE DVDRW KRX-407T");
    FillList(view, 0);
    view->ShowUpdateSentence(texts::kWillBeUpdated, TextColour::Black);
    view->ShowMessage(MessageKind::Error, texts::kErrorTitle, texts::kNoFirmware, MessageButtons::Ok);
    EXPECT_EQ(view.Output(), "Error: No F/W in executable !\n");
}

TEST(TerminalViewDriveList, CaptionIsTheFirstLine)
{
    ViewHarness view(kNobody);
    view->SetCaption("Norvik v2.0.0");
    EXPECT_EQ(view.Output(), "Norvik v2.0.0\n");
}

// --drive N past the list: once the list is known, nothing is shown and nobody is asked. Before
// it is known (a refusal of the package), messages are shown as ever.
TEST(TerminalViewDriveList, ChosenDrivePastTheListSilencesTheRun)
{
    TerminalSettings settings = kAssumeYes;
    settings.chosenDrive = 2;  // the list has lines 0 and 1
    ViewHarness view(settings);
    EXPECT_EQ(view->ShowMessage(MessageKind::Error, texts::kErrorTitle, "before", MessageButtons::Ok),
              MessageAnswer::Ok);
    EXPECT_FALSE(view->ChosenDriveMissing());
    FillList(view, 0);
    EXPECT_TRUE(view->ChosenDriveMissing());
    EXPECT_EQ(view->ShowMessage(MessageKind::Warning, texts::kErrorTitle, "notice", MessageButtons::YesNo),
              MessageAnswer::No);
    EXPECT_EQ(view->ShowMessage(MessageKind::Warning, texts::kErrorTitle, "disc", MessageButtons::OkGiveUp),
              MessageAnswer::No);
    view->SetStatus("Inquiry ...");
    view->Terminate();
    EXPECT_EQ(view.Output(), "Error: before\n");
}

}  // namespace
