#pragma once
// norvik-demo's messages on the terminal, the same from the Qt demo and the Windows demo.

#include <string_view>

// Prints the reason and a hint to the standard error stream; returns the exit status 2.
int DemoUsageError(std::string_view reason);

// Prints --help with the settings of the demo's own package, ended by environment (see
// DemoHelp); returns 0.
int PrintDemoHelp(std::string_view environment);

// Prints "norvik-demo VERSION"; returns 0.
int PrintDemoVersion(const char* version);
