#include "frontends/win32/NorvikMain.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "frontends/win32/ControlIds.h"
#include "update/RevisionPlacement.h"

namespace {

// At 96 DPI: the drive list's font in pixels, the dialog font in points (the template's FONT),
// the buttons' glyphs in pixels.
constexpr int kListFontPixels = 13;
constexpr int kDialogFontPoints = 8;
constexpr int kGlyphPixels = 16;

// Functions that Windows 7 lacks are looked up when they are needed, so that the program still
// starts there: the absent ones are null.
template <typename Function>
Function User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

// The DPI of the monitor the window is on (Windows 10 1607 and later), else the system's.
UINT DpiOfWindow(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi != 0 ? dpi : 96;
}

// The frame around a client area at a DPI: the title bar and borders of that DPI where the
// system can tell them, else the system's.
RECT FrameAround(HWND window, int clientWidth, int clientHeight, UINT dpi)
{
    using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT frame = {0, 0, clientWidth, clientHeight};
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, extendedStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    return frame;
}

// The window scales itself when its DPI changes: the dialog manager's own scaling of dialogs
// (Windows 10 1703 and later, per-monitor v2) would scale the template's units a second time.
void KeepDialogManagerFromScaling(HWND window)
{
    using SetBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    static const auto setBehavior = User32Function<SetBehaviorFunction>("SetDialogDpiChangeBehavior");
    if (setBehavior != nullptr) setBehavior(window, kDisableAll, kDisableAll);
}

COLORREF ColourOf(TextColour colour)
{
    const RgbColour rgb = RgbOf(colour);
    return RGB(rgb.red, rgb.green, rgb.blue);
}

int TextWidth(HDC context, std::string_view text)
{
    SIZE size = {};
    GetTextExtentPoint32A(context, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

RECT RectInParent(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

TNorvikMain::TNorvikMain(platform::System& system, const uint8_t* packageBlock, MadeUpProfiles madeUpProfiles,
                         MessageBoxes* messageBoxes)
    : boxes(messageBoxes != nullptr ? *messageBoxes : standardBoxes),
      workers(&TNorvikMain::WakeForWorkerEnd, this),
      sequence(system, packageBlock, *this, workers, madeUpProfiles)
{
    CreateFromTemplate();
    sequence.StartUp();
    if (!terminationRequested) RemoveCloseFromSystemMenu();
}

// The window stays until the sequence has waited for its workers: the handle is destroyed last,
// and from here on no message reaches this object.
TNorvikMain::~TNorvikMain()
{
    FormDestroy();
    if (window == nullptr) return;
    if (timerRunning) KillTimer(window, IDT_tmr);
    SetWindowLongPtrA(window, DWLP_USER, 0);
}

void TNorvikMain::RegisterWindowClass()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExA(GetModuleHandleA(nullptr), NORVIK_MAIN_CLASS, &windowClass)) return;
    windowClass.lpfnWndProc = DefDlgProcA;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    // The program's own icon (the first icon group), as Explorer shows it; the system's
    // application icon for a program built without one.
    windowClass.hIcon = LoadIconA(windowClass.hInstance, MAKEINTRESOURCEA(1));
    if (windowClass.hIcon == nullptr)
        windowClass.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = NORVIK_MAIN_CLASS;
    RegisterClassExA(&windowClass);
}

// The dialog template of the resource script, with the window class of its own; hidden until
// the program's entry shows it.
void TNorvikMain::CreateFromTemplate()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterWindowClass();
    window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_NorvikMain), nullptr,
                                &TNorvikMain::DialogProcedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) throw std::runtime_error("The window could not be made.");
    ownedWindow.reset(window);
}

INT_PTR CALLBACK TNorvikMain::DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<TNorvikMain*>(lParam)->window = dialog;
    }
    auto* self = reinterpret_cast<TNorvikMain*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    // Nothing may unwind through the system's frames: a failure ends the program with its box.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        MessageBoxA(dialog, error.what(), "Error", MB_ICONERROR | MB_OK);
    } catch (...) {
        MessageBoxA(dialog, "", "Error", MB_ICONERROR | MB_OK);
    }
    self->Terminate();
    return TRUE;
}

INT_PTR TNorvikMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepDialogManagerFromScaling(window);
        ReadTemplateLayout();
        ApplyDpi(DpiOfWindow(window), nullptr);
        SetProgress(0, UpdateSequence::kInitialProgressMaximum);
        return TRUE;
    case WM_DPICHANGED: ApplyDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return TRUE;
    case WM_COMMAND: HandleCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_TIMER:
        if (wParam == IDT_tmr) tmrTimer();
        return TRUE;
    case kWorkerEndedMessage: workers.DispatchEnds(); return TRUE;
    case WM_CTLCOLORSTATIC: return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_QUERYENDSESSION: SetWindowLongPtrA(window, DWLP_MSGRESULT, AllowEndOfSession()); return TRUE;
    default: return FALSE;
    }
}

// The buttons' clicks (the Enter key's too: the dialog manager sends the default button's
// command) go to the sequence, which ignores them when they are not allowed. Escape and close
// requests (IDCANCEL) and the dialog's IDOK do nothing: only cmdClose closes the window.
void TNorvikMain::HandleCommand(int id, int notification)
{
    if (id == IDC_cboDrives && notification == CBN_SELCHANGE) cboDrivesChange();
    if (id == IDC_cmdUpdate && notification == BN_CLICKED) cmdUpdateClick();
    if (id == IDC_cmdClose && notification == BN_CLICKED) cmdCloseClick();
}

// The bold labels are navy, lblMsg as the sequence colours it, the sentence black or maroon;
// the rest as the system draws them.
INT_PTR TNorvikMain::ColourStatic(HDC context, HWND control)
{
    COLORREF colour = 0;
    switch (GetDlgCtrlID(control)) {
    case IDC_lblMsg: colour = ColourOf(statusColour); break;
    case IDC_lblPercent:
    case IDC_lblNewFW:
    case IDC_lblOldFW: colour = ColourOf(TextColour::Navy); break;
    case IDC_lblUpdateMsg: colour = ColourOf(sentenceColour); break;
    default: return FALSE;
    }
    SetTextColor(context, colour);
    SetBkColor(context, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

// The template's numbers are pixels at 96 DPI, but the dialog manager has read them as dialog
// units of the dialog font: each control's numbers are read back and kept, for every DPI the
// window meets. Dialog units are at least a pixel, so dividing the rounded pixels again gives
// the template's numbers exactly.
void TNorvikMain::ReadTemplateLayout()
{
    RECT unit = {0, 0, 4, 8};
    MapDialogRect(window, &unit);
    const auto pixelsX = [&unit](LONG scaled) { return MulDiv(scaled, 4, unit.right); };
    const auto pixelsY = [&unit](LONG scaled) { return MulDiv(scaled, 8, unit.bottom); };
    placeCount = 0;
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr && placeCount < kMaxControls;
         control = GetWindow(control, GW_HWNDNEXT)) {
        RECT rect = RectInParent(control);
        // A drop-down list's window is as tall as its closed field; the template gives the
        // height of the open list, which the list keeps.
        LONG height = rect.bottom - rect.top;
        if (GetDlgCtrlID(control) == IDC_cboDrives) {
            RECT open = {};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&open));
            height = open.bottom - open.top;
        }
        const LONG left = pixelsX(rect.left);
        const LONG top = pixelsY(rect.top);
        places[placeCount++] = {GetDlgCtrlID(control),
                                {left, top, left + pixelsX(rect.right - rect.left), top + pixelsY(height)}};
    }
    RECT client = {};
    GetClientRect(window, &client);
    templateWidth = pixelsX(client.right);
    templateHeight = pixelsY(client.bottom);
}

// Everything that depends on the DPI, made again for a new one: the fonts, the glyphs, the
// controls' places and the window's size. A DPI change hands the frame the system suggests (on
// the monitor the window moves to); the first placing centres the window.
void TNorvikMain::ApplyDpi(UINT newDpi, const RECT* suggestedFrame)
{
    dpi = newDpi != 0 ? newDpi : 96;
    clientWidth = Scaled(templateWidth);
    clientHeight = Scaled(templateHeight);
    SetUpFonts();
    SetUpGlyphs();
    PlaceControls();
    if (suggestedFrame == nullptr)
        SizeAndCentre();
    else
        SetWindowPos(window, nullptr, suggestedFrame->left, suggestedFrame->top,
                     suggestedFrame->right - suggestedFrame->left, suggestedFrame->bottom - suggestedFrame->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceRevisions();
    InvalidateRect(window, nullptr, TRUE);
}

void TNorvikMain::PlaceControls()
{
    for (int index = 0; index < placeCount; ++index) {
        const RECT& rect = places[index].rect;
        MoveWindow(Control(places[index].id), Scaled(rect.left), Scaled(rect.top), Scaled(rect.right - rect.left),
                   Scaled(rect.bottom - rect.top), FALSE);
    }
}

// The client area, scaled, centred in the work area of the window's monitor.
void TNorvikMain::SizeAndCentre()
{
    const RECT frame = FrameAround(window, clientWidth, clientHeight, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// At the window's DPI: the dialog font (the template's face and size) on every control, the
// four labels in its bold, and the drive list in Courier New of 13 pixels at 96 DPI (or the
// closest fixed-pitch font the system has), so that its columns line up. The old fonts go only
// once no control uses them. The revision labels lie above the sentence they are placed in.
void TNorvikMain::SetUpFonts()
{
    LOGFONTA face = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof(face), &face);
    face.lfHeight = -MulDiv(kDialogFontPoints, static_cast<int>(dpi), 72);
    face.lfWidth = 0;
    decltype(dialogFont) regular(CreateFontIndirectA(&face));
    face.lfWeight = FW_BOLD;
    decltype(boldFont) bold(CreateFontIndirectA(&face));
    decltype(listFont) list(CreateFontA(-Scaled(kListFontPixels), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                        FIXED_PITCH | FF_MODERN, "Courier New"));
    for (int index = 0; index < placeCount; ++index) {
        const int id = places[index].id;
        HFONT font = regular.get();
        if (id == IDC_cboDrives) font = list.get();
        if (id == IDC_lblMsg || id == IDC_lblPercent || id == IDC_lblNewFW || id == IDC_lblOldFW) font = bold.get();
        SendMessageA(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    dialogFont = std::move(regular);
    boldFont = std::move(bold);
    listFont = std::move(list);

    for (int id : {IDC_lblOldFW, IDC_lblNewFW})
        SetWindowPos(Control(id), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The buttons carry their glyphs beside their captions, as the common controls of version 6
// draw an image and a text together; drawn from the icon's nearest size at the window's DPI.
void TNorvikMain::SetUpGlyphs()
{
    int index = 0;
    for (const auto& [button, glyph] : {std::pair{IDC_cmdUpdate, IDI_Update}, std::pair{IDC_cmdClose, IDI_Close}}) {
        const int size = Scaled(kGlyphPixels);
        HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(glyph), IMAGE_ICON, size, size, 0);
        SendMessageA(Control(button), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        glyphs[index++].reset(static_cast<HICON>(icon));
    }
}

// The window can be closed neither from its title bar nor from its system menu: the entry at
// position 5 goes twice, which in the standard menu (Restore, Move, Size, Minimize, Maximize, a
// separator, Close) are the separator and Close.
void TNorvikMain::RemoveCloseFromSystemMenu()
{
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) return;
    RemoveMenu(menu, 5, MF_BYPOSITION);
    RemoveMenu(menu, 5, MF_BYPOSITION);
}

// The sentence's pieces and the revisions measured in the fonts in use, placed as every window
// places them (update/RevisionPlacement.h).
void TNorvikMain::PlaceRevisions()
{
    HWND sentence = Control(IDC_lblUpdateMsg);
    const RECT line = RectInParent(sentence);
    HDC context = GetDC(sentence);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageA(sentence, WM_GETFONT, 0, 0)));
    RevisionWidths widths = {TextWidth(context, revisions::kBeforeGap), TextWidth(context, revisions::kThroughGap),
                             TextWidth(context, revisions::kSentenceAndSpace), 0, 0};
    SelectObject(context, boldFont.get());
    char oldText[16] = {};
    char newText[64] = {};
    GetWindowTextA(Control(IDC_lblOldFW), oldText, sizeof(oldText));
    GetWindowTextA(Control(IDC_lblNewFW), newText, sizeof(newText));
    widths.oldRevision = TextWidth(context, oldText);
    widths.newRevision = TextWidth(context, newText);
    SelectObject(context, previous);
    ReleaseDC(sentence, context);

    const LabelRect sentencePlace = {line.left, line.top, line.right - line.left, line.bottom - line.top};
    const RevisionPlaces places = ::PlaceRevisions(widths, sentencePlace, clientWidth);
    for (const auto& [id, place] :
         {std::pair{IDC_lblOldFW, places.oldRevision}, std::pair{IDC_lblNewFW, places.newRevision}})
        MoveWindow(Control(id), place.left, place.top, place.width, place.height, TRUE);
}

void TNorvikMain::SetControlText(int id, std::string_view text)
{
    SetWindowTextA(Control(id), std::string(text).c_str());
}

void TNorvikMain::WakeForWorkerEnd(void* context)
{
    auto* self = static_cast<TNorvikMain*>(context);
    PostMessageA(self->window, kWorkerEndedMessage, 0, 0);
}

MessageAnswer TNorvikMain::ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                                       MessageButtons buttons)
{
    return boxes.Ask(window, kind, title, text, buttons);
}

void TNorvikMain::SetCaption(std::string_view caption) { SetWindowTextA(window, std::string(caption).c_str()); }

// Drawn at once: the sequence may hold this thread in a long wait right after a new status.
void TNorvikMain::SetStatus(std::string_view text)
{
    SetControlText(IDC_lblMsg, text);
    UpdateWindow(Control(IDC_lblMsg));
}

void TNorvikMain::SetStatusColour(TextColour colour)
{
    statusColour = colour;
    InvalidateRect(Control(IDC_lblMsg), nullptr, TRUE);
}

void TNorvikMain::SetPercent(std::string_view text) { SetControlText(IDC_lblPercent, text); }

void TNorvikMain::SetProgress(int position, int maximum)
{
    SendMessageA(Control(IDC_pbar), PBM_SETRANGE32, 0, maximum);
    SendMessageA(Control(IDC_pbar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TNorvikMain::ClearDriveList() { SendMessageA(Control(IDC_cboDrives), CB_RESETCONTENT, 0, 0); }

void TNorvikMain::AddDriveEntry(std::string_view entry)
{
    const std::string text(entry);
    SendMessageA(Control(IDC_cboDrives), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Selecting from here sends no CBN_SELCHANGE: only the user's choice counts as a change.
void TNorvikMain::SelectDriveEntry(int index)
{
    SendMessageA(Control(IDC_cboDrives), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TNorvikMain::SelectedDriveEntry() const
{
    const LRESULT selected = SendMessageA(Control(IDC_cboDrives), CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void TNorvikMain::ShowUpdateSentence(std::string_view text, TextColour colour)
{
    sentenceColour = colour;
    SetControlText(IDC_lblUpdateMsg, text);
    InvalidateRect(Control(IDC_lblUpdateMsg), nullptr, TRUE);
}

void TNorvikMain::ShowRevisions(std::string_view newRevision, std::string_view oldRevision)
{
    SetControlText(IDC_lblNewFW, newRevision);
    SetControlText(IDC_lblOldFW, oldRevision);
    PlaceRevisions();
    ShowWindow(Control(IDC_lblNewFW), SW_SHOWNA);
    ShowWindow(Control(IDC_lblOldFW), SW_SHOWNA);
}

void TNorvikMain::HideRevisions()
{
    ShowWindow(Control(IDC_lblNewFW), SW_HIDE);
    ShowWindow(Control(IDC_lblOldFW), SW_HIDE);
}

void TNorvikMain::SetUpdateEnabled(bool enabled) { EnableWindow(Control(IDC_cmdUpdate), enabled ? TRUE : FALSE); }

void TNorvikMain::SetCloseEnabled(bool enabled) { EnableWindow(Control(IDC_cmdClose), enabled ? TRUE : FALSE); }

void TNorvikMain::SetProgressTimer(bool running)
{
    if (running)
        timerRunning = SetTimer(window, IDT_tmr, UpdateSequence::kTimerIntervalMs, nullptr) != 0;
    else if (timerRunning)
        timerRunning = KillTimer(window, IDT_tmr) == FALSE;
}

// Everything waiting for this thread is handled, the window's drawing included; a quit met on
// the way is left for the program's loop.
void TNorvikMain::ProcessPendingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (HandleDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The session may not end while drives are being written: the request is refused, no further
// drive is started, and the program ends once the update's outcome has been answered, so that
// the next request finds it gone.
BOOL TNorvikMain::AllowEndOfSession() { return stopPolicy.Request() ? TRUE : FALSE; }

void TNorvikMain::FlashUnderway(bool underway)
{
    if (stopPolicy.FlashUnderway(underway, SignalHeld())) Terminate();
}

bool TNorvikMain::StopRequested() const { return stopPolicy.StopRequested(SignalHeld()); }

// The quit waits in the queue, so that it also works from inside the constructor: the message
// loop ends as soon as it runs.
void TNorvikMain::Terminate()
{
    terminationRequested = true;
    PostQuitMessage(0);
}

void TNorvikMain::cboDrivesChange() { sequence.cboDrivesChange(); }

void TNorvikMain::cmdUpdateClick() { sequence.cmdUpdateClick(); }

void TNorvikMain::cmdCloseClick() { sequence.cmdCloseClick(); }

void TNorvikMain::tmrTimer() { sequence.tmrTimer(); }

void TNorvikMain::FormDestroy() { sequence.FormDestroy(); }
