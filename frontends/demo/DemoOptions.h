#pragma once
// The command line of norvik-demo: the virtual drives in their text form, settings of the demo's
// package, and a drive to choose once the window is up.

#include <string>
#include <string_view>
#include <vector>

struct PackageSetting {
    std::string key;    // one of the nine settings, without its equals sign
    std::string value;  // one digit
};

struct DemoOptions {
    std::vector<std::string> drives;       // text form, realistic timing already in front
    std::vector<PackageSetting> settings;  // in the order given, after the demo's own
    int chosenEntry = -1;                  // --choose; -1: none
};

// Every drive starts from this; an entry of its own given later overrides it.
inline constexpr std::string_view kDemoDriveBase = "timing=realistic,";
// The drive when none is given: the package's model at a revision the package updates, with a
// disc in the tray, so that the disc and tray check shows.
inline constexpr std::string_view kDefaultDrive = "rev=RN05,disc=1";
// Settings the demo puts into its copy of the package before those of the command line.
const std::vector<PackageSetting>& DemoSettings();

// Whether --help (or -h) is among the arguments.
bool HelpWanted(int argc, char* argv[]);

// False with the reason for an unknown option or a missing value. --help is left to HelpWanted.
bool ParseDemoOptions(int argc, char* argv[], DemoOptions& options, std::string& reason);

// The --help text; settingsLine lists the settings of the demo's package as they are, and
// environment (empty, or starting with an empty line) ends it with the variables the program reads.
std::string DemoHelp(std::string_view settingsLine, std::string_view environment);
