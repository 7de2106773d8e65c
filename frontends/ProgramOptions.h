#pragma once
// The command line as the window programs read it before their toolkit or their window takes it:
// plain C++, shared by the Qt window, the Windows window and the demos over them.

#include <cstring>

// Whether the option stands among the arguments (argv[0], the program, is not one).
inline bool ProgramOptionGiven(int argc, char* argv[], const char* option)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0) return true;
    }
    return false;
}
