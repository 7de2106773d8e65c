#pragma once
// A view that records every call of the sequence, keeps the state a window would show, and
// answers message boxes from a script. An action given with an answer runs while the box is
// "open", as a user's hands and a modal box's own event loop would.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "update/QueuedWorkerThreads.h"
#include "update/UpdateView.h"

namespace sequencetest {

// The answer to a box the script does not cover: an OK box is acknowledged; a question is
// declined, and a box that offers to give a drive up gives it up, so that a check the script
// does not cover ends instead of coming back.
inline MessageAnswer Unscripted(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return MessageAnswer::No;
    case MessageButtons::OkGiveUp: return MessageAnswer::No;
    }
    return MessageAnswer::No;
}

struct ShownMessage {
    MessageKind kind;
    std::string title;
    std::string text;
    MessageButtons buttons;
    std::string statusThen;  // the status text while the box was open
    TextColour statusColourThen;
};

class ScriptedView : public UpdateView {
public:
    // The answer to the next message box, and what happens while it is open.
    void Answer(MessageAnswer answer, std::function<void()> whileOpen = {})
    {
        script.push_back({answer, std::move(whileOpen)});
    }

    MessageAnswer ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) override
    {
        calls.push_back("message: " + std::string(text));
        messages.push_back({kind, std::string(title), std::string(text), buttons, status, statusColour});
        if (script.empty()) return Unscripted(buttons);
        ScriptedAnswer next = std::move(script.front());
        script.pop_front();
        if (next.whileOpen) next.whileOpen();
        return next.answer;
    }

    void SetCaption(std::string_view text) override { Record("caption: ", caption = text); }
    void SetStatus(std::string_view text) override
    {
        Record("status: ", status = text);
        statuses.push_back(status);
    }
    void SetStatusColour(TextColour colour) override
    {
        statusColour = colour;
        calls.push_back("status colour");
    }
    void SetPercent(std::string_view text) override { Record("percent: ", percent = text); }
    void SetProgress(int newPosition, int newMaximum) override
    {
        position = newPosition;
        maximum = newMaximum;
        calls.push_back("progress: " + std::to_string(position) + "/" + std::to_string(maximum));
    }
    void ClearDriveList() override
    {
        entries.clear();
        selected = -1;
        calls.push_back("clear drives");
    }
    void AddDriveEntry(std::string_view entry) override
    {
        entries.emplace_back(entry);
        Record("drive: ", std::string(entry));
    }
    void SelectDriveEntry(int index) override
    {
        selected = index;
        calls.push_back("select: " + std::to_string(index));
    }
    int SelectedDriveEntry() const override { return selected; }
    void ShowUpdateSentence(std::string_view text, TextColour colour) override
    {
        sentenceColour = colour;
        Record("sentence: ", sentence = text);
    }
    void ShowRevisions(std::string_view newText, std::string_view oldText) override
    {
        newRevision = newText;
        oldRevision = oldText;
        revisionsVisible = true;
        calls.push_back("revisions: " + newRevision + " " + oldRevision);
    }
    void HideRevisions() override
    {
        revisionsVisible = false;
        calls.push_back("revisions hidden");
    }
    void SetUpdateEnabled(bool enabled) override
    {
        updateEnabled = enabled;
        calls.push_back(enabled ? "update on" : "update off");
    }
    void SetCloseEnabled(bool enabled) override
    {
        closeEnabled = enabled;
        calls.push_back(enabled ? "close on" : "close off");
    }
    void SetProgressTimer(bool running) override
    {
        timerRunning = running;
        calls.push_back(running ? "timer on" : "timer off");
    }
    void ProcessPendingMessages() override
    {
        ++processCount;
        calls.push_back("process messages");
        // A window handles what is waiting, the workers' ends among them.
        if (workerThreads != nullptr) workerThreads->DispatchEnds();
    }
    void Terminate() override
    {
        ++terminateCount;
        calls.push_back("terminate");
    }
    void FlashUnderway(bool underway) override { calls.push_back(underway ? "flash underway" : "flash over"); }
    bool StopRequested() const override { return stopRequested; }
    // The view's language: translations by source text (none: the sources themselves).
    std::string_view Translated(std::string_view source) const override
    {
        const auto found = translations.find(std::string(source));
        return found != translations.end() ? std::string_view(found->second) : source;
    }
    std::map<std::string, std::string> translations;

    // How many times a status text was set.
    int StatusCount(const std::string& text) const
    {
        int count = 0;
        for (const std::string& shown : statuses) count += shown == text ? 1 : 0;
        return count;
    }
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const ShownMessage& message : messages) texts.push_back(message.text);
        return texts;
    }
    bool ScriptDone() const { return script.empty(); }

    std::vector<std::string> calls;
    bool stopRequested = false;
    std::vector<ShownMessage> messages;
    std::vector<std::string> statuses;

    std::string caption;
    std::string status;
    TextColour statusColour = TextColour::Navy;
    std::string percent = "100%";
    int position = 0;
    int maximum = 100;
    std::vector<std::string> entries;
    int selected = -1;
    std::string sentence = "It will be updated from             to";
    TextColour sentenceColour = TextColour::Black;
    std::string newRevision = "XXXX";
    std::string oldRevision = "XXXX";
    bool revisionsVisible = true;
    bool updateEnabled = true;
    bool closeEnabled = true;
    bool timerRunning = false;
    int processCount = 0;
    QueuedWorkerThreads* workerThreads = nullptr;  // whose ends a pending-message pass handles
    int terminateCount = 0;

private:
    struct ScriptedAnswer {
        MessageAnswer answer;
        std::function<void()> whileOpen;
    };
    void Record(const char* what, const std::string& text) { calls.push_back(what + text); }

    std::deque<ScriptedAnswer> script;
};

}  // namespace sequencetest
