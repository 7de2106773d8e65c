#include "frontends/demo/DemoOptions.h"

#include <charconv>

#include "frontends/ProgramOptions.h"

namespace {

bool ParseSetting(std::string_view text, DemoOptions& options, std::string& reason)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        reason = "--set takes KEY=DIGIT, not \"" + std::string(text) + "\"";
        return false;
    }
    options.settings.push_back({std::string(text.substr(0, equals)), std::string(text.substr(equals + 1))});
    return true;
}

bool ParseEntry(std::string_view text, DemoOptions& options, std::string& reason)
{
    int entry = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), entry);
    if (error != std::errc() || end != text.data() + text.size() || entry < 0) {
        reason = "--choose takes an entry number from 0, not \"" + std::string(text) + "\"";
        return false;
    }
    options.chosenEntry = entry;
    return true;
}

}  // namespace

const std::vector<PackageSetting>& DemoSettings()
{
    static const std::vector<PackageSetting> settings{{"CHKDISC", "1"}};
    return settings;
}

bool HelpWanted(int argc, char* argv[])
{
    return ProgramOptionGiven(argc, argv, "--help") || ProgramOptionGiven(argc, argv, "-h");
}

bool ParseDemoOptions(int argc, char* argv[], DemoOptions& options, std::string& reason)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") continue;
        if (argument == "--set" || argument == "--choose") {
            if (i + 1 >= argc) {
                reason = std::string(argument) + " needs a value";
                return false;
            }
            const std::string_view value = argv[++i];
            if (!(argument == "--set" ? ParseSetting(value, options, reason) : ParseEntry(value, options, reason)))
                return false;
        } else if (argument.starts_with("--")) {
            reason = "unknown option " + std::string(argument) + " (see --help)";
            return false;
        } else {
            options.drives.push_back(std::string(kDemoDriveBase) + std::string(argument));
        }
    }
    if (options.drives.empty()) options.drives.push_back(std::string(kDemoDriveBase) + std::string(kDefaultDrive));
    return true;
}

std::string DemoHelp(std::string_view settingsLine, std::string_view environment)
{
    std::string help =
        "Usage: norvik-demo [--set KEY=DIGIT]... [--choose N] [DRIVE]...\n"
        "       norvik-demo --help | --version\n"
        "\n"
        "Runs the Norvik update window on virtual drives that exist only inside this\n"
        "program. Its update package is the program's own, copied into memory with a\n"
        "synthetic firmware image packed in. No real drive is touched, and the system is\n"
        "never restarted: a restart that the update asks for is recorded and shown in a\n"
        "message box.\n"
        "\n"
        "DRIVE   one virtual drive, in the text form of sim/README.md: comma-separated\n"
        "        key=value entries. Every drive starts from timing=realistic (a timing\n"
        "        entry of its own overrides it). Without DRIVE: one drive\n"
        "        \"rev=RN05,disc=1\". Examples:\n"
        "          rev=RN05,disc=1              updatable, with a disc the check ejects\n"
        "          rev=RN09                     a revision this package may not update\n"
        "          \"product=DVDRW KRX-999T\"     another model\n"
        "          fault=3B#3+:sense:4/00/00    a drive whose download fails\n"
        "          tray=open                    an empty drive with its tray open\n"
        "\n"
        "--set KEY=DIGIT\n"
        "        change one setting of the demo's package: N2OMESSAGE, CHKDISC,\n"
        "        BOOTCODE, REBOOT, AUTOMODE, CLOSEAP, WARNING, NBWARNING or\n"
        "        HOW_MANY_BIN. The demo's package has the program's settings with\n"
        "        CHKDISC=1, so that the disc and tray check shows:\n"
        "          ";
    help += settingsLine;
    help +=
        "\n"
        "--choose N\n"
        "        once the window is up, choose entry N of the drive list (0 is the\n"
        "        first) as a user would, e.g. a drive that may not be updated.\n"
        "--help  this text.\n"
        "--version\n"
        "        the program's version.\n"
        "\n"
        "When a message box asks to remove the disc, answering OK takes the disc off\n"
        "every open tray, as the user's hand would.\n";
    help += environment;
    return help;
}
