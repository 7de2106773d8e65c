#pragma once
// What the start-up and update sequence needs from a front end, in the program's terms. The
// window shows it with its controls and Qt's standard message boxes; the console front end on a
// terminal; tests record every call and answer the message boxes from a script. The sequence
// decides everything and gives every text; a view only shows, and answers when asked.
//
// Every call comes on the thread that runs the sequence.

#include <cstdint>
#include <string_view>

enum class MessageKind : uint8_t { Warning, Error, Information };
// OkGiveUp: an OK box of the disc and tray check that has come back pass after pass; besides OK
// it offers to give the drive up, which answers No.
enum class MessageButtons : uint8_t { Ok, YesNo, OkGiveUp };
enum class MessageAnswer : uint8_t { Ok, Yes, No };

// Black (the sentence), maroon, navy.
enum class TextColour : uint8_t { Black, Maroon, Navy };

struct RgbColour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

constexpr RgbColour RgbOf(TextColour colour)
{
    switch (colour) {
    case TextColour::Black: return {0, 0, 0};
    case TextColour::Maroon: return {128, 0, 0};
    case TextColour::Navy: return {0, 0, 128};
    }
    return {0, 0, 0};
}

class UpdateView {
public:
    virtual ~UpdateView() = default;

    // A modal message box; returns when the user has answered. A box with an OK button answers
    // Ok; one with Yes and No answers Yes or No (closing it counts as No). The title is the
    // box's caption ("Warning", "Error", "Information", or "Error ..." for the device object).
    // A front end that cannot ask anyone may answer an OK box of the disc and tray check with
    // No: that drive is then given up (it takes no part and counts as failed).
    virtual MessageAnswer ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                                      MessageButtons buttons) = 0;

    // The window caption.
    virtual void SetCaption(std::string_view caption) = 0;

    // The status text (lblMsg) and its colour, and the percentage text (lblPercent).
    virtual void SetStatus(std::string_view text) = 0;
    virtual void SetStatusColour(TextColour colour) = 0;
    virtual void SetPercent(std::string_view text) = 0;

    // The progress bar: position between 0 and maximum.
    virtual void SetProgress(int position, int maximum) = 0;

    // The drive list. Entry i belongs to drive record i. SelectDriveEntry(-1) selects none;
    // selecting an entry here never counts as the user's choice. SelectedDriveEntry gives the
    // selected index, or -1.
    virtual void ClearDriveList() = 0;
    virtual void AddDriveEntry(std::string_view entry) = 0;
    virtual void SelectDriveEntry(int index) = 0;
    virtual int SelectedDriveEntry() const = 0;

    // The sentence under the list (lblUpdateMsg) and the two revision labels placed in it:
    // lblNewFW after "to", lblOldFW in the gap after "from".
    virtual void ShowUpdateSentence(std::string_view text, TextColour colour) = 0;
    virtual void ShowRevisions(std::string_view newRevision, std::string_view oldRevision) = 0;
    virtual void HideRevisions() = 0;

    // The Update and Close buttons.
    virtual void SetUpdateEnabled(bool enabled) = 0;
    virtual void SetCloseEnabled(bool enabled) = 0;

    // The 100 ms progress timer: while it runs, the front end calls UpdateSequence::tmrTimer on
    // every tick.
    virtual void SetProgressTimer(bool running) = 0;

    // Lets the front end handle what is waiting (drawing the texts just set) before the sequence
    // goes on with a longer step.
    virtual void ProcessPendingMessages() = 0;

    // Drives may be being written from the first worker started until the update's outcome has
    // been reported: the front end holds off what would end the process meanwhile (signals),
    // and acts on it once the flash is over.
    virtual void FlashUnderway(bool) {}
    // The person (or the system) asked the program to stop while drives were being written:
    // no further drive of the update is started.
    virtual bool StopRequested() const { return false; }

    // A text of the sequence (update/SequenceTexts.h) in the user's language, as the front end
    // shows it; the text itself where the front end has no translation. The result is
    // terminated (formats are handed to printf) and lives as long as the view.
    virtual std::string_view Translated(std::string_view source) const { return source; }

    // The application is told to terminate: its event loop ends as soon as it runs. Must work
    // before the loop has started (a queued quit), and returns at once.
    virtual void Terminate() = 0;
};
