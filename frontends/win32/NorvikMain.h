#pragma once
// The program's window on Windows, made from its dialog template (NorvikMain.rc): the drive
// list, the sentence with the two revisions, the progress area and the Update and Close
// buttons. It shows what the start-up and update sequence says (UpdateView) and hands the
// sequence the user's events; the sequence decides everything. The constructor runs the whole
// start-up, so the update may be under way, or the application told to terminate, before the
// window is first shown.
//
// Worker ends are posted to the window as a message (kWorkerEndedMessage), so that they are
// handled on the window's thread by any message loop that runs: the program's, or a message
// box's. The window closes only through cmdClose or when the application is told to terminate
// (a quit message): its system menu has no Close entry, and close requests are ignored.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <type_traits>

#include "frontends/win32/MessageBoxes.h"
#include "platform/System.h"
#include "update/QueuedWorkerThreads.h"
#include "update/StopRequestPolicy.h"
#include "update/UpdateSequence.h"
#include "update/UpdateView.h"

class TNorvikMain : public UpdateView {
public:
    // Posted by a worker's thread when its end waits to be handled.
    static constexpr UINT kWorkerEndedMessage = WM_APP + 1;

    // packageBlock: payload::kPackageSize bytes that outlive the window. madeUpProfiles: whether
    // the system's drives may be sent made-up flash profiles. messageBoxes answers the message
    // boxes (null: the system's standard boxes); it must outlive the window.
    TNorvikMain(platform::System& system, const uint8_t* packageBlock, MadeUpProfiles madeUpProfiles,
                MessageBoxes* messageBoxes = nullptr);
    ~TNorvikMain() override;
    TNorvikMain(const TNorvikMain&) = delete;
    TNorvikMain& operator=(const TNorvikMain&) = delete;

    HWND Handle() const { return window; }
    HWND Control(int id) const { return GetDlgItem(window, id); }
    // Whether the application has been told to terminate (also before its message loop runs).
    bool TerminationRequested() const { return terminationRequested; }
    bool ProgressTimerRunning() const { return timerRunning; }
    const UpdateSequence& Sequence() const { return sequence; }
    // Hands a message to the window's dialog handling (keyboard navigation, default button);
    // false when it is not the window's.
    bool HandleDialogMessage(MSG& message) { return IsDialogMessageA(window, &message) != FALSE; }

    // UpdateView
    MessageAnswer ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) override;
    void SetCaption(std::string_view caption) override;
    void SetStatus(std::string_view text) override;
    void SetStatusColour(TextColour colour) override;
    void SetPercent(std::string_view text) override;
    void SetProgress(int position, int maximum) override;
    void ClearDriveList() override;
    void AddDriveEntry(std::string_view entry) override;
    void SelectDriveEntry(int index) override;
    int SelectedDriveEntry() const override;
    void ShowUpdateSentence(std::string_view text, TextColour colour) override;
    void ShowRevisions(std::string_view newRevision, std::string_view oldRevision) override;
    void HideRevisions() override;
    void SetUpdateEnabled(bool enabled) override;
    void SetCloseEnabled(bool enabled) override;
    void SetProgressTimer(bool running) override;
    void ProcessPendingMessages() override;
    void FlashUnderway(bool underway) override;
    bool StopRequested() const override;
    void Terminate() override;

    // The handlers of the window's events.
    void cboDrivesChange();
    void cmdUpdateClick();
    void cmdCloseClick();
    void tmrTimer();
    void FormDestroy();

protected:
    // Whether the system holds off a request to stop by itself (a console program's Ctrl+C):
    // this window is asked only for the end of the session.
    virtual bool SignalHeld() const { return false; }

private:
    static void RegisterWindowClass();
    static INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static void WakeForWorkerEnd(void* context);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void HandleCommand(int id, int notification);
    INT_PTR ColourStatic(HDC context, HWND control);
    BOOL AllowEndOfSession();

    void CreateFromTemplate();
    void ReadTemplateLayout();
    void PlaceControls();
    void SizeAndCentre();
    void SetUpFonts();
    void SetUpGlyphs();
    void ApplyDpi(UINT newDpi, const RECT* suggestedFrame);
    int Scaled(int templatePixels) const { return MulDiv(templatePixels, static_cast<int>(dpi), 96); }
    void RemoveCloseFromSystemMenu();
    void PlaceRevisions();
    void SetControlText(int id, std::string_view text);

    struct FontDeleter {
        void operator()(HFONT font) const { DeleteObject(font); }
    };
    struct IconDestroyer {
        void operator()(HICON icon) const { DestroyIcon(icon); }
    };
    struct WindowDestroyer {
        void operator()(HWND handle) const { DestroyWindow(handle); }
    };

    StandardMessageBoxes standardBoxes;
    MessageBoxes& boxes;
    // Destroyed after the window that uses them.
    std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> dialogFont;
    std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> boldFont;
    std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> listFont;
    std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer> glyphs[2];
    HWND window = nullptr;  // set as the dialog is made, before its first handled message
    // Destroyed after the sequence and the workers, which may still show things while they go.
    std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer> ownedWindow;
    // The template's numbers are the window's pixels at 96 DPI; the window shows them scaled to
    // the DPI of the monitor it is on.
    struct TemplatePlace {
        int id;
        RECT rect;  // left, top, right, bottom
    };
    static constexpr int kMaxControls = 16;
    TemplatePlace places[kMaxControls] = {};
    int placeCount = 0;
    int templateWidth = 0;
    int templateHeight = 0;
    UINT dpi = 96;
    int clientWidth = 0;  // pixels at the window's DPI
    int clientHeight = 0;
    TextColour statusColour = TextColour::Navy;
    TextColour sentenceColour = TextColour::Black;
    bool timerRunning = false;
    StopRequestPolicy stopPolicy;
    bool terminationRequested = false;
    QueuedWorkerThreads workers;
    UpdateSequence sequence;  // last: uses the view and the workers, and goes first
};
