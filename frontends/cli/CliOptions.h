#pragma once
// The command line of norvik-cli: a command (list, update or history) and its options, read
// into fixed fields. Virtual drives are read in their text form here, so that a bad one is a usage error
// before anything runs.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/DriveSetup.h"
#include "sim/VirtualSystem.h"

namespace cli {

enum class Command : uint8_t { None, List, Update, History };

// What the command line asks for.
enum class Request : uint8_t {
    Run,      // the command, with the options below
    Help,     // --help
    Version,  // --version
    Usage,    // a usage error: the reason is in error
};

constexpr int kMaxVirtualDrives = sim::VirtualSystem::kMaxDrives;
constexpr int kNoDriveChosen = -1;

struct CliOptions {
    Command command = Command::None;
    bool assumeYes = false;                                          // --yes
    bool aspi = false;                                               // --aspi
    bool json = false;                                               // --json
    int verbosity = 0;                                               // --verbose, -v, counted
    bool noRestart = false;                                          // --no-restart
    int drive = kNoDriveChosen;                                      // --drive N, 0-based list index
    std::string traceFile;                                           // --trace FILE; empty: none
    std::string packageFile;                                         // --package FILE; empty: none
    std::array<sim::DriveSetup, kMaxVirtualDrives> virtualDrives{};  // --virtual DRIVE
    int virtualCount = 0;

    bool Virtual() const { return virtualCount > 0; }
    // A drive with modelled durations runs the whole virtual system on the real clock; drives
    // that are all instant run in virtual time, where waits pass at once.
    bool NeedsRealClock() const;
};

// How much -v shows: one -v every command sent, two also its command block and data length.
constexpr int kVerboseCommands = 1;
constexpr int kVerboseBlocks = 2;

// Reads the arguments after the program name (getopt_long: bundled short options, "--name=value"
// or "--name value", "--" ending the options). On Request::Usage, error holds one line that
// says what is wrong (without a line feed), in English, and shown (when given) the same in the
// user's language (ConsoleText).
Request ParseCliOptions(int argc, const char* const* argv, CliOptions& options, std::string& error,
                        std::string* shown = nullptr);

// Whether the arguments ask for --json (or an abbreviation of it) before any "--": a usage error
// found earlier on the line is still answered with a document.
bool JsonAsked(int argc, const char* const* argv);

// The --help text, in the user's language (ConsoleText).
std::string HelpText();

// The program's name as it was invoked: argv[0] without its folders (and, on Windows, without
// ".exe"); "norvik-cli" when that leaves nothing.
std::string_view InvokedName(const char* argv0);

// The name every message of the program starts with: "norvik-cli" until SetProgramName is given
// argv[0] at start-up (then InvokedName's, up to 63 bytes).
void SetProgramName(const char* argv0);
const char* ProgramName();

}  // namespace cli
