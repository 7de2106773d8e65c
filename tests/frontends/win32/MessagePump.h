#pragma once
// Runs this thread's messages as the program's loop does (the window's dialog keys first), until
// done holds. The deadline is only a safety net should it never hold: false then.

#include <windows.h>

#include <functional>

#include "frontends/win32/NorvikMain.h"

inline bool PumpMessagesUntil(TNorvikMain& window, const std::function<bool()>& done)
{
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            if (window.HandleDialogMessage(message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(1);
    }
    return true;
}
