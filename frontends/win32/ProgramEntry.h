#pragma once
// The entry of the Windows window programs (norvik.exe, norvik-demo.exe): the window is made
// (its constructor runs the whole start-up), shown unless the application has already been told
// to terminate, and the message loop runs until the quit. An exception that reaches the entry is
// shown in an error box (with an empty text when it carries none).

#include <functional>
#include <memory>

#include "frontends/win32/NorvikMain.h"

// Returns 0, as the program does whatever the outcome of the update.
int RunNorvikWindow(const std::function<std::unique_ptr<TNorvikMain>()>& makeWindow);
