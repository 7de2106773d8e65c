#include "frontends/cli/TerminalView.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/ProcessSignals.h"
#include "update/SequenceTexts.h"
#include "update/UpdateSequence.h"

namespace cli {

namespace {

// Copies text into a fixed field, cut to fit, always terminated.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text)
{
    const std::size_t count = std::min(text.size(), N - 1);
    if (count > 0) std::memcpy(field, text.data(), count);
    field[count] = '\0';
}

// The bytes of the well-formed UTF-8 character at the start of text, if it is U+00A0 or above
// (no C1 control, no overlong form, no surrogate); 0 otherwise.
std::size_t Utf8CharacterLength(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || text.size() < length) return 0;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0xA0, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= smallest[length] && code <= 0x10FFFF && !surrogate ? length : 0;
}

std::string_view KindPrefix(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return "Warning: ";
    case MessageKind::Error: return "Error: ";
    case MessageKind::Information: return "Information: ";
    }
    return "";
}

bool IsYes(std::string_view answer)
{
    if (answer.empty() || answer.size() > 3) return false;
    char lower[4] = {};
    for (std::size_t i = 0; i < answer.size(); ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[i])));
    const std::string_view word(lower, answer.size());
    return word == "y" || word == "yes";
}

// The sentence with the two revisions where the window places its labels: the present one in
// the gap after "from", the new one after "to".
std::size_t ComposeSentence(std::string_view sentence, std::string_view oldRevision, std::string_view newRevision,
                            char* line, std::size_t size)
{
    const std::size_t gap = sentence.find("  ");
    if (gap == std::string_view::npos) {
        return static_cast<std::size_t>(std::snprintf(line, size, "%.*s %.*s", static_cast<int>(sentence.size()),
                                                      sentence.data(), static_cast<int>(newRevision.size()),
                                                      newRevision.data()));
    }
    const std::string_view before = sentence.substr(0, gap);
    std::string_view after = sentence.substr(gap);
    after.remove_prefix(std::min(after.find_first_not_of(' '), after.size()));
    return static_cast<std::size_t>(std::snprintf(line, size, "%.*s %.*s %.*s %.*s", static_cast<int>(before.size()),
                                                  before.data(), static_cast<int>(oldRevision.size()),
                                                  oldRevision.data(), static_cast<int>(after.size()), after.data(),
                                                  static_cast<int>(newRevision.size()), newRevision.data()));
}

constexpr TerminalView::Clock::duration kTickInterval = std::chrono::milliseconds(UpdateSequence::kTimerIntervalMs);

}  // namespace

TerminalView::TerminalView(std::FILE* out, std::FILE* in, const TerminalSettings& settings)
    : out(out), in(in), settings(settings)
{}

bool TerminalView::ChosenDriveMissing() const
{
    return listKnown && settings.chosenDrive >= 0 && settings.chosenDrive >= entryCount;
}

MessageAnswer TerminalView::ShowMessage(MessageKind kind, std::string_view, std::string_view text,
                                        MessageButtons buttons)
{
    if (ChosenDriveMissing()) return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    ShowPending();
    EndProgressLine();
    shownLine[0] = '\0';  // the status is shown again after the message, even unchanged
    shownPhase[0] = '\0';
    const MessageAnswer answer = buttons == MessageButtons::YesNo ? AskYesNo(kind, text) : Acknowledge(kind, text);
    Flush();
    return answer;
}

MessageAnswer TerminalView::AskYesNo(MessageKind kind, std::string_view text)
{
    PrintMessage(kind, text);
    Write(" [y/N] ");
    if (settings.assumeYes) {
        Write("y (--yes)\n");
        return MessageAnswer::Yes;
    }
    if (!settings.interactive) {
        Write("n (no terminal to ask; --yes answers Yes)\n");
        return MessageAnswer::No;
    }
    char answer[16];
    if (!ReadAnswer(answer)) {
        Write("\n");
        return MessageAnswer::No;
    }
    return IsYes(answer) ? MessageAnswer::Yes : MessageAnswer::No;
}

// Errors and information need no answer: the program goes on, or ends, whatever it is. A
// warning with OK asks for something to be done at the drive (take the disc out, push the tray
// in) before its disc and tray check goes on; who cannot do it gives the drive up.
MessageAnswer TerminalView::Acknowledge(MessageKind kind, std::string_view text)
{
    PrintMessage(kind, text);
    if (text.empty() || text.back() != '\n') Write("\n");
    if (kind != MessageKind::Warning) return MessageAnswer::Ok;
    if (settings.assumeYes) {
        if (acknowledgements < kAutomaticAcknowledgements) {
            ++acknowledgements;
            Write("OK (--yes)\n");
            return MessageAnswer::Ok;
        }
        Write("(--yes has answered OK 3 times for this drive: the drive is given up)\n");
        return MessageAnswer::No;
    }
    if (!settings.interactive) {
        Write("(no terminal to answer: the drive is given up; --yes answers OK)\n");
        return MessageAnswer::No;
    }
    Write("Press Enter when done, or q and Enter to give this drive up: ");
    char answer[16];
    if (!ReadAnswer(answer)) {
        Write("\n");
        return MessageAnswer::No;
    }
    return (answer[0] == 'q' || answer[0] == 'Q') && answer[1] == '\0' ? MessageAnswer::No : MessageAnswer::Ok;
}

// One line from the terminal, without its line end and surrounding blanks; the rest of an
// overlong line is read and dropped. False at the end of the input.
bool TerminalView::ReadAnswer(char (&answer)[16])
{
    Flush();
    char line[sizeof answer];
    if (in == nullptr || std::fgets(line, sizeof line, in) == nullptr) return false;
    if (std::strchr(line, '\n') == nullptr) {
        int c = 0;
        while ((c = std::fgetc(in)) != EOF && c != '\n') {
        }
    }
    std::string_view text(line);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    text = text.substr(0, text.find_last_not_of(" \t\r\n") + 1);
    CopyText(answer, text);
    return true;
}

void TerminalView::PrintMessage(MessageKind kind, std::string_view text)
{
    if (kind != MessageKind::Information) CopyText(lastProblem, text);
    Write(KindPrefix(kind));
    WriteShown(text, LineFeeds::Kept);
}

void TerminalView::SetCaption(std::string_view caption)
{
    if (!settings.showDriveList) return;
    EndProgressLine();
    WriteShown(caption, LineFeeds::Escaped);
    Write("\n");
}

void TerminalView::SetStatus(std::string_view text)
{
    CopyText(status, text);
    if (text == Translated(texts::kCheckDisc)) acknowledgements = 0;
    ShowProgressLine();
}

void TerminalView::SetPercent(std::string_view text) { CopyText(percent, text); }

void TerminalView::SetProgress(int newPosition, int newMaximum)
{
    position = newPosition;
    maximum = newMaximum;
}

void TerminalView::ShowProgressLine()
{
    ShowPending();
    if (status[0] == '\0' || ChosenDriveMissing()) return;
    if (!settings.inPlace) {
        ShowProgressStep();
        return;
    }
    char line[kLineSize];
    const std::string_view text = FormatProgressLine(line);
    if (text == shownLine) return;
    Write("\r\033[K");
    WriteShown(text, LineFeeds::Escaped);
    lineOpen = true;
    CopyText(shownLine, text);
    Flush();
}

namespace {

// The status without the dots that count the timer's ticks: what a line per phase names.
std::string_view PhaseOf(std::string_view status)
{
    const std::size_t end = status.find_last_not_of(". ");
    return end == std::string_view::npos ? std::string_view() : status.substr(0, end + 1);
}

}  // namespace

// Without a terminal, lines are paced by the image data moved where the system counts it (not
// on the ASPI route, whose commands bypass the count), else by the sequence's percentage.
bool TerminalView::PacedByData() const { return settings.transfers != nullptr && transferGoal; }

int TerminalView::SteppedPercent() const
{
    if (!PacedByData()) return maximum > 0 ? position * 100 / maximum : 0;
    const uint64_t goal = transferGoal();
    if (goal == 0) return 0;
    return static_cast<int>(std::min(settings.transfers->Bytes(), goal) * 100 / goal);
}

// One line per phase, and one per 10 % of the data reached: every step gets its line, also when
// several were reached between two ticks, so the lines never leap.
void TerminalView::ShowProgressStep()
{
    const int reached = SteppedPercent();
    if (PacedByData())
        while (shownPhase[0] != '\0' && shownPercent / 10 < reached / 10)
            PrintStep(shownPhase, shownPercent / 10 * 10 + 10);
    const std::string_view phase = PhaseOf(status);
    if (phase == shownPhase && (PacedByData() || reached == shownPercent)) return;
    CopyText(shownPhase, phase);
    PrintStep(phase, reached);
}

void TerminalView::PrintStep(std::string_view phase, int percentShown)
{
    shownPercent = percentShown;
    char bar[kBarWidth + 1];
    const int filled = std::clamp(percentShown * kBarWidth / 100, 0, kBarWidth);
    std::memset(bar, '#', static_cast<std::size_t>(filled));
    std::memset(bar + filled, ' ', static_cast<std::size_t>(kBarWidth - filled));
    bar[kBarWidth] = '\0';
    char line[kLineSize];
    const int length = std::snprintf(line, sizeof line, "[%s] %3d %%  %.*s", bar, percentShown,
                                     static_cast<int>(phase.size()), phase.data());
    WriteShown(std::string_view(line,
                                std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), kLineSize - 1)),
               LineFeeds::Escaped);
    Write("\n");
    Flush();
}

std::string_view TerminalView::FormatProgressLine(char (&line)[kLineSize]) const
{
    char bar[kBarWidth + 1];
    const int filled = maximum > 0 ? std::clamp(position * kBarWidth / maximum, 0, kBarWidth) : 0;
    std::memset(bar, '#', static_cast<std::size_t>(filled));
    std::memset(bar + filled, ' ', static_cast<std::size_t>(kBarWidth - filled));
    bar[kBarWidth] = '\0';
    const int length = std::snprintf(line, sizeof line, "[%s] %5s  %s", bar, percent, status);
    return std::string_view(line, std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), kLineSize - 1));
}

void TerminalView::EndProgressLine()
{
    if (!lineOpen) return;
    Write("\n");
    lineOpen = false;
}

void TerminalView::ClearDriveList()
{
    entryCount = 0;
    selected = -1;
    listPending = true;
    listKnown = true;
    sentencePending = false;  // a verdict belongs to the list it was given for
}

void TerminalView::AddDriveEntry(std::string_view entry)
{
    if (entryCount == kMaxDrives) return;
    CopyText(entries[entryCount++], entry);
    listPending = true;
}

void TerminalView::SelectDriveEntry(int index)
{
    if (index == selected) return;
    selected = index;
    listPending = true;
}

void TerminalView::ShowUpdateSentence(std::string_view text, TextColour)
{
    CopyText(sentence, text);
    sentencePending = true;
}

void TerminalView::ShowRevisions(std::string_view newText, std::string_view oldText)
{
    CopyText(newRevision, newText);
    CopyText(oldRevision, oldText);
    revisionsVisible = true;
    sentencePending = true;
}

void TerminalView::HideRevisions()
{
    revisionsVisible = false;
    sentencePending = true;
}

void TerminalView::ShowPending()
{
    if (!settings.showDriveList || ChosenDriveMissing()) {
        listPending = sentencePending = false;
        return;
    }
    if (listPending) PrintDriveList();
    if (sentencePending) PrintSentence();
    listPending = sentencePending = false;
}

void TerminalView::PrintDriveList()
{
    EndProgressLine();
    Write(entryCount == 0 ? "Drives: none\n" : "Drives:\n");
    for (int index = 0; index < entryCount; ++index) {
        char number[16];
        std::snprintf(number, sizeof number, "%c %2d ", index == selected ? '>' : ' ', index);
        Write(number);
        WriteShown(entries[index], LineFeeds::Escaped);
        Write("\n");
    }
    shownLine[0] = '\0';
    shownPhase[0] = '\0';
}

void TerminalView::PrintSentence()
{
    EndProgressLine();
    char line[kLineSize];
    std::size_t length = 0;
    if (revisionsVisible)
        length = std::min(ComposeSentence(sentence, oldRevision, newRevision, line, sizeof line), sizeof line - 1);
    else
        length = static_cast<std::size_t>(std::snprintf(line, sizeof line, "%s", sentence));
    WriteShown(std::string_view(line, length), LineFeeds::Escaped);
    Write("\n");
    shownLine[0] = '\0';
    shownPhase[0] = '\0';
}

void TerminalView::SetProgressTimer(bool running)
{
    timerRunning = running;
    if (running) nextTick = Clock::now() + kTickInterval;
}

// A signal held off meanwhile is acted on by the program once the outcome has been printed.
// The first drive's firmware is being sent: from here the data's steps count as programming.
void TerminalView::FlashUnderway(bool underway)
{
    platform::HoldSignals(underway);
    if (!underway || settings.inPlace || !PacedByData() || ChosenDriveMissing()) return;
    ShowPending();
    const std::string_view phase = PhaseOf(Translated(texts::kProgramming));
    if (phase == shownPhase) return;
    CopyText(shownPhase, phase);
    PrintStep(phase, SteppedPercent());
}

bool TerminalView::StopRequested() const { return platform::HeldSignal() != 0; }

void TerminalView::RunDueTick(Clock::time_point now)
{
    if (!timerRunning || now < nextTick) return;
    nextTick += kTickInterval;
    if (nextTick <= now) nextTick = now + kTickInterval;
    if (tick) tick();
}

void TerminalView::ProcessPendingMessages() { Flush(); }

void TerminalView::Terminate()
{
    terminated = true;
    ShowPending();
    EndProgressLine();
    Flush();
}

void TerminalView::Finish()
{
    timerRunning = false;
    listPending = sentencePending = false;
    EndProgressLine();
    Flush();
}

void TerminalView::Write(std::string_view text)
{
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) NoteOutputError();
}

void TerminalView::WriteShown(std::string_view text, LineFeeds lineFeeds)
{
    if (!WriteAsText(out, text, lineFeeds, translatorInUse != nullptr ? Utf8::Kept : Utf8::Escaped)) NoteOutputError();
}

std::string_view TerminalView::Translated(std::string_view source) const
{
    return translatorInUse != nullptr ? translatorInUse->Translated(source) : source;
}

void TerminalView::Flush()
{
    if (std::fflush(out) != 0) NoteOutputError();
}

// The stream keeps only that it failed; the reason is taken at once.
void TerminalView::NoteOutputError()
{
    if (outputError == 0) outputError = errno != 0 ? errno : EIO;
}

// Runs of printable bytes go out as they are; each other byte as \xNN, so that no byte from a
// drive or a package reaches the terminal as a control (an escape or a control sequence
// introducer, 9Bh, could rewrite the screen or reprogram the terminal).
bool WriteAsText(std::FILE* out, std::string_view text, LineFeeds lineFeeds, Utf8 utf8)
{
    bool written = true;
    while (!text.empty()) {
        const auto control = std::find_if(text.begin(), text.end(), [lineFeeds](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte < 0x20 || byte >= 0x7F) && !(c == '\n' && lineFeeds == LineFeeds::Kept);
        });
        const auto printable = static_cast<std::size_t>(control - text.begin());
        if (printable > 0) written &= std::fwrite(text.data(), 1, printable, out) == printable;
        if (control == text.end()) break;
        text.remove_prefix(printable);
        const std::size_t character = utf8 == Utf8::Kept ? Utf8CharacterLength(text) : 0;
        if (character > 0) {
            written &= std::fwrite(text.data(), 1, character, out) == character;
            text.remove_prefix(character);
            continue;
        }
        written &= std::fprintf(out, "\\x%02X", static_cast<unsigned char>(text.front())) == 4;
        text.remove_prefix(1);
    }
    return written;
}

}  // namespace cli
