#include "frontends/win32/MessageBoxes.h"

#include <commctrl.h>

#include <string>

namespace {

UINT IconStyle(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return MB_ICONWARNING;
    case MessageKind::Error: return MB_ICONERROR;
    case MessageKind::Information: return MB_ICONINFORMATION;
    }
    return 0;
}

PCWSTR TaskDialogIcon(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return TD_WARNING_ICON;
    case MessageKind::Error: return TD_ERROR_ICON;
    case MessageKind::Information: return TD_INFORMATION_ICON;
    }
    return nullptr;
}

// Task dialogs take wide texts; the program's texts are in the system's code page.
std::wstring Wide(std::string_view text)
{
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

using TaskDialogFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Task dialogs come with the common controls of version 6 (the program's manifest asks for
// them); looked up at run time, so that the program also starts where there are none. The
// library stays loaded for the life of the process, as the window's controls need it anyway.
TaskDialogFunction FindTaskDialog()
{
    HMODULE controls = LoadLibraryA("comctl32.dll");
    if (controls == nullptr) return nullptr;
    return reinterpret_cast<TaskDialogFunction>(
        reinterpret_cast<void*>(GetProcAddress(controls, "TaskDialogIndirect")));
}

// OK is the default; Escape and closing the box answer OK too (the dialog may be cancelled, and
// cancelling means OK): giving a drive up is only ever the deliberate click.
bool AskWithGiveUp(HWND owner, MessageKind kind, std::string_view title, std::string_view text, int& chosen)
{
    const TaskDialogFunction taskDialog = FindTaskDialog();
    if (taskDialog == nullptr) return false;
    const std::wstring wideTitle = Wide(title);
    const std::wstring wideText = Wide(text);
    const TASKDIALOG_BUTTON giveUp = {kGiveUpButton, L"Give Up"};
    TASKDIALOGCONFIG config = {};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = wideTitle.c_str();
    config.pszMainIcon = TaskDialogIcon(kind);
    config.pszContent = wideText.c_str();
    config.cButtons = 1;
    config.pButtons = &giveUp;
    config.nDefaultButton = IDOK;
    return SUCCEEDED(taskDialog(&config, &chosen, nullptr, nullptr));
}

}  // namespace

UINT MessageBoxStyle(MessageKind kind, MessageButtons buttons)
{
    const UINT icon = IconStyle(kind);
    switch (buttons) {
    case MessageButtons::Ok: return icon | MB_OK;
    case MessageButtons::YesNo: return icon | MB_YESNO | MB_DEFBUTTON1;
    case MessageButtons::OkGiveUp: return icon | MB_OK;
    }
    return icon | MB_OK;
}

MessageAnswer AnswerOfMessageBox(MessageButtons buttons, int chosen)
{
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return chosen == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
    case MessageButtons::OkGiveUp: return chosen == kGiveUpButton ? MessageAnswer::No : MessageAnswer::Ok;
    }
    return MessageAnswer::Ok;
}

MessageAnswer StandardMessageBoxes::Ask(HWND owner, MessageKind kind, std::string_view title, std::string_view text,
                                        MessageButtons buttons)
{
    int chosen = 0;
    if (buttons == MessageButtons::OkGiveUp && AskWithGiveUp(owner, kind, title, text, chosen))
        return AnswerOfMessageBox(buttons, chosen);
    const std::string boxTitle(title);
    const std::string boxText(text);
    chosen = MessageBoxA(owner, boxText.c_str(), boxTitle.c_str(), MessageBoxStyle(kind, buttons));
    return AnswerOfMessageBox(buttons, chosen);
}
