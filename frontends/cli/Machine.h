#pragma once
// The machine norvik-cli runs on: its system behind the seam, and what the console needs to know
// beyond it (the drives' command nodes, whether a stream is a terminal, closed standard streams).
// One implementation per system: MachineLinux.cpp, MachineWin32.cpp.

#include <cstdio>
#include <memory>

#include "frontends/cli/CliCommands.h"
#include "platform/JournalHistory.h"
#include "platform/System.h"

namespace cli {

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    platform::System& System();

private:
    struct Parts;
    std::unique_ptr<Parts> parts;
};

// The machine's lookups for list (null where the system has no such node to name).
extern const CommandNodeLookup kMachineCommandNode;

// The running program's own file, read for the identity of the package it carries; null where
// the system names none.
extern const char* const kOwnProgramFile;
extern const NodeRefusalLookup kMachineNodeRefusal;

bool IsTerminal(std::FILE* stream);

// The machine's history of updates, from its journal; null where the system has none that the
// program reads. On Linux, NORVIK_JOURNAL_DIRECTORY names a folder of journal files to read
// instead of the machine's own journal.
std::unique_ptr<platform::JournalHistory> MakeMachineHistory();

// A standard stream that is closed would let the next file opened (a drive, the trace) take its
// place, and output meant for the terminal would reach that file: each closed one is taken by
// the null device. True when standard output was open.
bool GuardStandardStreams();

}  // namespace cli
