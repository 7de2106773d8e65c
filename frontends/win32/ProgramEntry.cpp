#include "frontends/win32/ProgramEntry.h"

#include <exception>

namespace {

void RunMessageLoop(TNorvikMain& window)
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (window.HandleDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

int RunNorvikWindow(const std::function<std::unique_ptr<TNorvikMain>()>& makeWindow)
{
    try {
        const std::unique_ptr<TNorvikMain> window = makeWindow();
        if (!window->TerminationRequested()) ShowWindow(window->Handle(), SW_SHOWNORMAL);
        RunMessageLoop(*window);
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), "Norvik", MB_ICONERROR | MB_OK);
    } catch (...) {
        MessageBoxA(nullptr, "", "Norvik", MB_ICONERROR | MB_OK);
    }
    return 0;
}
