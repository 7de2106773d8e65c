#pragma once
// The program entry shared by norvik and norvik-demo: the window is made (its constructor runs
// the whole start-up), shown unless the application has already been told to terminate, and the
// event loop runs until it has. An exception that reaches the entry is shown in an error box
// (with an empty text when it carries none).

#include <QtWidgets/QApplication>

#include <functional>
#include <memory>

#include "frontends/ProgramOptions.h"
#include "frontends/window/NorvikMain.h"

// Returns 0, as the program does whatever the outcome of the update.
int RunNorvikWindow(QApplication& application, const std::function<std::unique_ptr<TNorvikMain>()>& makeWindow);
