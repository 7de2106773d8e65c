#pragma once
// The steps of a demo program's entry around its window, the same for every toolkit: the help
// and version answers, the demo's world made from the command line, and the end after a signal
// held off while drives were written.

#include <functional>
#include <string_view>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoSystem.h"
#include "payload/PackageLayout.h"

// Answers --help (its end, environment, told by the toolkit's program) and --version: the exit
// status, or -1 when neither was asked for and the program goes on.
int AnswerDemoHelpOrVersion(int argc, char* argv[], std::string_view environment, const char* version);

// Shows the window over the demo's system and package; returns the program's exit status.
using DemoWindowRun =
    std::function<int(DemoSystem& system, const payload::PackageBlock& package, const DemoOptions& options)>;

// Reads the demo's options, makes its package and its drives, and runs the window over them: its
// status, or 2 after a usage error told on the terminal. A signal held off while drives were
// written then ends the program as that signal would have.
int RunDemoWorld(int argc, char* argv[], const DemoWindowRun& runWindow);
