#pragma once
// The update sequence's view on a terminal: message boxes become lines with their kind and a
// y/N prompt, the status and percentage become a progress line (updated in place on a terminal,
// a plain line per change otherwise), and the drive list is printed with the chosen drive
// marked. The 100 ms progress timer is run by the program's own loop on this thread.
//
// Who answers: the user on the terminal; --yes for every question and message; nobody when
// there is no terminal (every question No, and a message of the disc and tray check gives the
// drive up, so nothing is flashed unasked).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>

#include "device/DriveRecord.h"
#include "frontends/cli/TransferCounter.h"
#include "update/DriveEntry.h"
#include "update/Translatable.h"
#include "update/UpdateView.h"

namespace cli {

// Text from drives and packages reaches the terminal as text: control characters and bytes from
// 7Fh on are written as \xNN, printable ASCII as it is. Line feeds of messages are kept.
enum class LineFeeds : uint8_t { Kept, Escaped };
// False when the output failed.
// Utf8::Kept: a well-formed UTF-8 character that is no control (U+00A0 and up) goes out as it is,
// for a terminal that takes UTF-8.
enum class Utf8 : uint8_t { Kept, Escaped };
bool WriteAsText(std::FILE* out, std::string_view text, LineFeeds lineFeeds, Utf8 utf8 = Utf8::Escaped);

struct TerminalSettings {
    bool assumeYes = false;     // --yes
    bool interactive = false;   // questions can be asked: the input is a terminal
    bool inPlace = false;       // the output is a terminal: one progress line, rewritten
    bool showDriveList = true;  // print the caption, the drive list and the verdict (update)
    int chosenDrive = -1;       // --drive N: the list line the user named; -1 none
    // Without a terminal: the image data moved, which paces the progress lines once the update's
    // goal is set (null: the sequence's own percentage throughout).
    const TransferCounter* transfers = nullptr;
};

class TerminalView : public UpdateView {
public:
    // With --yes, a drive's disc and tray check takes this many OK answers; the next message
    // gives the drive up, so a drive that never becomes ready cannot keep the run for ever.
    static constexpr int kAutomaticAcknowledgements = 3;
    static constexpr int kBarWidth = 30;

    // out receives everything; in is read for the answers when settings.interactive.
    TerminalView(std::FILE* out, std::FILE* in, const TerminalSettings& settings);

    // What the 100 ms timer runs on every tick (the sequence's tmrTimer). Set once.
    void SetTickHandler(std::function<void()> handler) { tick = std::move(handler); }
    // The progress timer, run by the program's own loop: while it runs, the loop waits no longer
    // than NextTick() and then calls RunDueTick, which ticks once when the time has come. A tick
    // that came late is not made up for.
    using Clock = std::chrono::steady_clock;
    bool TimerRunning() const { return timerRunning; }
    Clock::time_point NextTick() const { return nextTick; }
    void RunDueTick(Clock::time_point now);
    // The image data the update moves in all (written and read back, every drive taking part),
    // asked whenever a line without a terminal is made: its share moved is the percentage shown.
    void SetTransferGoal(std::function<uint64_t()> goal) { transferGoal = std::move(goal); }
    // Prints what is waiting to be shown (the drive list, the verdict on the chosen drive).
    void ShowPending();
    // Ends the progress line, if one is open; the verdict still waiting is dropped.
    void Finish();
    bool TerminationRequested() const { return terminated; }
    int DriveEntryCount() const { return entryCount; }
    // The drive list is known and has no line settings.chosenDrive. From then on nothing more is
    // shown and every question is answered No: the run cannot go ahead, and nobody is asked
    // about it.
    bool ChosenDriveMissing() const;
    // The reason (an errno value) the output first failed, or 0.
    int OutputError() const { return outputError; }
    // The text of the last error or warning shown (cut to fit), for a JSON error's message.
    std::string_view LastProblem() const { return lastProblem; }

    MessageAnswer ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) override;
    void SetCaption(std::string_view caption) override;
    void SetStatus(std::string_view text) override;
    void SetStatusColour(TextColour) override {}
    void SetPercent(std::string_view text) override;
    void SetProgress(int position, int maximum) override;
    void ClearDriveList() override;
    void AddDriveEntry(std::string_view entry) override;
    void SelectDriveEntry(int index) override;
    int SelectedDriveEntry() const override { return selected; }
    void ShowUpdateSentence(std::string_view text, TextColour colour) override;
    void ShowRevisions(std::string_view newRevision, std::string_view oldRevision) override;
    void HideRevisions() override;
    void SetUpdateEnabled(bool) override {}
    void SetCloseEnabled(bool) override {}
    void SetProgressTimer(bool running) override;
    void ProcessPendingMessages() override;
    void FlashUnderway(bool underway) override;
    bool StopRequested() const override;
    void Terminate() override;
    // The sequence's texts in the user's language (null: English), on a terminal that takes
    // UTF-8. Set before the sequence starts; must outlive the view.
    void SetTranslator(const TextTranslator* translator) { translatorInUse = translator; }
    std::string_view Translated(std::string_view source) const override;

private:
    static constexpr std::size_t kTextSize = 64;
    static constexpr std::size_t kLineSize = 160;

    MessageAnswer AskYesNo(MessageKind kind, std::string_view text);
    MessageAnswer Acknowledge(MessageKind kind, std::string_view text);
    bool ReadAnswer(char (&answer)[16]);
    void PrintMessage(MessageKind kind, std::string_view text);
    void ShowProgressLine();
    void ShowProgressStep();
    bool PacedByData() const;
    int SteppedPercent() const;
    void PrintStep(std::string_view phase, int percentShown);
    std::string_view FormatProgressLine(char (&line)[kLineSize]) const;
    void PrintDriveList();
    void PrintSentence();
    void EndProgressLine();
    void Write(std::string_view text);
    void WriteShown(std::string_view text, LineFeeds lineFeeds);
    void Flush();
    void NoteOutputError();

    std::FILE* out;
    std::FILE* in;
    const TerminalSettings settings;
    bool timerRunning = false;
    Clock::time_point nextTick{};
    std::function<void()> tick;

    char status[kTextSize] = {};
    char percent[16] = {};
    int position = 0;
    int maximum = 100;
    char shownLine[kLineSize] = {};  // the progress line last printed
    bool lineOpen = false;           // in place: the cursor is still on the progress line
    std::function<uint64_t()> transferGoal;
    char shownPhase[kTextSize] = {};  // without a terminal: the phase and percentage last printed
    int shownPercent = 0;

    char entries[kMaxDrives][kDriveEntrySize] = {};
    int entryCount = 0;
    int selected = -1;
    bool listPending = false;
    bool listKnown = false;  // the sequence has filled the drive list

    char sentence[kTextSize] = {};
    char newRevision[16] = {};
    char oldRevision[16] = {};
    bool revisionsVisible = false;
    bool sentencePending = false;

    char lastProblem[512] = {};

    int acknowledgements = 0;  // OK answers given by --yes in this drive's check
    bool terminated = false;
    int outputError = 0;
    const TextTranslator* translatorInUse = nullptr;
};

}  // namespace cli
