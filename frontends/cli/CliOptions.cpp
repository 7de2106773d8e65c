#include "frontends/cli/CliOptions.h"

#include <charconv>

namespace cli {

namespace {

constexpr std::string_view kHelp = R"(usage: norvik-cli [options] list
       norvik-cli [options] update [--drive N]
       norvik-cli --help | --version

The console front end of Norvik: the same update package (carried in this
program, packed with norvik-pack), drive discovery, eligibility check, download
and update sequence as the window.

commands:
  list          find the drives and judge them; one line per drive: the
                drive-list entry as the window shows it, two spaces, then
                "updatable bank=B current=C new=REV" (B the 0-based firmware
                bank, C 1 when the drive already carries that bank's revision),
                "not allowed", or, on the machine's drives, "not updatable
                from here: REASON" when this process could not send the
                update's commands through the drive's node
  update        the start-up and update sequence with the window's texts: the
                refusals, the notice, the already-current question, the disc
                and tray check, the progress and the outcome. The package's
                AUTOMODE updates every updatable drive; otherwise one drive is
                updated: the first updatable one, as the window selects it, or
                the one given with --drive

options:
  --drive N     (update, manual mode) update the drive of list line N,
                counted from 0
  --yes, -y     answer Yes to every question and OK to every message. A
                message of the disc and tray check is answered OK at most 3
                times per drive; the next one gives the drive up (it counts as
                failed)
  --virtual DRIVE
                a virtual drive instead of the machine's drives (repeatable, up
                to 24), in the text form of sim/README.md: comma-separated
                key=value entries, e.g.
                "rev=RN05,chip=BFD60001,disc=0,tray=closed,timing=realistic".
                Keys: vendor product rev newrev deadrev vspec serial chip disc
                tray lock profile image polls timing latency rate commit host
                path target lun address root open inuse fault. When any drive
                has timing=realistic (or latency, rate, commit), the run takes
                real time; otherwise it runs in virtual time and waits pass at
                once. A drive the virtual system does not take (its root
                taken, no room) is a usage error
  --no-restart  (update) when the package restarts the system after a
                successful update, end without the restart and say that one
                is still due
  --aspi        the system answers that it is not of the NT family, so the
                drives are found and reached through the ASPI manager (on
                Linux, which has none, only with --virtual)
  --trace FILE  write every command to FILE as it ends: one line per command,
                "<root> <24 hex digits of the command block> <in|out|none>
                <length> <good|short N|sense K/ASC/ASCQ|failed>" (short N: it
                ended good but moved only N bytes). Virtual drives write what
                they received; on the machine's drives the line is what was
                sent and how it came back
  --verbose, -v every command sent, as a --trace line on standard error, the
                sense also in words
  --json        list: standard output is one JSON object, {"drives": [...],
                "not_listed": [roots past the drive table], "permission_advice":
                text or null}; per drive: index, root, command_node (the
                SCSI generic node; null on virtual drives or without one),
                host, path, target, lun, vendor, product, revision, verdict
                ("updatable", "not allowed" or "not updatable from here"),
                bank (counted from 1) and new_revision (null when not
                updatable), already_current, reason (why not, in words; else
                null).
                update: the texts for people go to standard error, and
                standard output is one JSON object at the end: exit_status,
                outcome (a name such as "updated", "restarted",
                "restart_not_made" (the drives are updated, the restart is
                still due), "update_failed", "notice_declined",
                "usage_error") and drives:
                per drive of the update its index, root, bank (from 1),
                verdict ("updated", "not_started", "given_up",
                "download_failed", "no_answer", "wrong_revision"),
                reported_revision (null when unknown) and expected_revision.
                Texts from drives and the package: one character per byte
                (Latin-1), control characters as \u00XX. A refusal before the
                drives are listed (no firmware bank, ...) prints no document
  --help, -h    this text
  --version     the program's version, the package it carries (its version
                text and drives), whether a firmware and real flash profiles
                are packed in

Questions are asked on the terminal (y/N). Without a terminal on standard input
and without --yes, every question is answered No and a message of the disc and
tray check gives the drive up, so nothing is flashed unasked. On a terminal the
progress is one line updated in place; otherwise a line is printed whenever the
progress text changes. The sequence's messages go to standard output with their
kind ("Error: ..."); errors of the command line go to standard error. Texts
from drives and the package are shown with control bytes and bytes from 7Fh on
as \xNN. On a virtual system a restart is recorded and reported, never
performed; a restart the system does not make is said on standard error.

Signals that would end the program (interrupt, terminate, hang-up, quit, user,
alarm, ...) are held off while the firmware is being written: no further drive
is started, and once the outcome is printed the program ends with that signal.

exit status: 0 success (also a list), 1 update failed, 2 usage error (also a
               --drive N past the list, found before anything is asked),
             3 refused or declined (no firmware, no matching drive, drive not
               allowed, notice or question answered No),
             4 no permission to reach a drive (or one held by another
               program; the advice says what to do): list, or an update
               that found no drive it may update;
             standard output that could not be written turns 0 into 1 (a
             closed one: 1 before anything runs); a held signal ends the
             program with that signal
)";

// The value of an option given as "--name=value" or "--name value"; null when it is missing.
const char* OptionValue(std::string_view argument, std::string_view name, int& index, int argc, const char* const* argv)
{
    if (argument.size() > name.size() && argument[name.size()] == '=') return argv[index] + name.size() + 1;
    if (index + 1 >= argc) return nullptr;
    return argv[++index];
}

bool IsOption(std::string_view argument, std::string_view name)
{
    return argument == name ||
           (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == '=');
}

bool ReadDriveNumber(std::string_view text, int& drive)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), drive);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && drive >= 0;
}

Request Usage(std::string& error, std::string text)
{
    error = std::move(text);
    return Request::Usage;
}

bool ReadCommand(std::string_view word, CliOptions& options, std::string& error)
{
    if (options.command != Command::None) {
        error = "more than one command (\"" + std::string(word) + "\"); give list or update once";
        return false;
    }
    if (word == "list") {
        options.command = Command::List;
    } else if (word == "update") {
        options.command = Command::Update;
    } else {
        error = "unknown command \"" + std::string(word) + "\" (list or update)";
        return false;
    }
    return true;
}

bool AddVirtualDrive(const char* drive, CliOptions& options, std::string& error)
{
    if (options.virtualCount == kMaxVirtualDrives) {
        error = "--virtual: at most " + std::to_string(kMaxVirtualDrives) + " virtual drives";
        return false;
    }
    std::string reason;
    sim::DriveSetup& setup = options.virtualDrives[static_cast<std::size_t>(options.virtualCount)];
    setup = sim::DriveSetup{};
    if (!sim::ParseDriveSetup(drive, setup, reason)) {
        error = "--virtual \"" + std::string(drive) + "\": " + reason;
        return false;
    }
    ++options.virtualCount;
    return true;
}

// Windows offers an ASPI manager beside the pass-through route; Linux has none.
#ifdef _WIN32
constexpr bool kMachineHasAspiManager = true;
#else
constexpr bool kMachineHasAspiManager = false;
#endif

// Options that only make sense together with others.
Request CheckCombination(const CliOptions& options, std::string& error)
{
    if (options.command == Command::None) return Usage(error, "no command given (list or update)");
    if (options.drive != kNoDriveChosen && options.command != Command::Update)
        return Usage(error, "--drive goes with the update command");
    if (options.aspi && !options.Virtual() && !kMachineHasAspiManager)
        return Usage(error, "--aspi goes with --virtual drives");
    return Request::Run;
}

}  // namespace

bool CliOptions::NeedsRealClock() const
{
    for (int i = 0; i < virtualCount; ++i) {
        const sim::DriveTiming& timing = virtualDrives[static_cast<std::size_t>(i)].drive.timing;
        if (timing.commandSeconds > 0 || timing.bytesPerSecond > 0 || timing.commitSeconds > 0) return true;
    }
    return false;
}

Request ParseCliOptions(int argc, const char* const* argv, CliOptions& options, std::string& error)
{
    for (int index = 0; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--help" || argument == "-h") return Request::Help;
        if (argument == "--version") return Request::Version;
        if (argument == "--yes" || argument == "-y") {
            options.assumeYes = true;
        } else if (argument == "--aspi") {
            options.aspi = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--verbose" || argument == "-v") {
            options.verbose = true;
        } else if (argument == "--no-restart") {
            options.noRestart = true;
        } else if (IsOption(argument, "--virtual")) {
            const char* drive = OptionValue(argument, "--virtual", index, argc, argv);
            if (drive == nullptr) return Usage(error, "--virtual needs a drive (DRIVE)");
            if (!AddVirtualDrive(drive, options, error)) return Request::Usage;
        } else if (IsOption(argument, "--trace")) {
            const char* file = OptionValue(argument, "--trace", index, argc, argv);
            if (file == nullptr || file[0] == '\0') return Usage(error, "--trace needs a file name");
            options.traceFile = file;
        } else if (IsOption(argument, "--drive")) {
            const char* number = OptionValue(argument, "--drive", index, argc, argv);
            if (number == nullptr) return Usage(error, "--drive needs a number");
            if (!ReadDriveNumber(number, options.drive))
                return Usage(error, "--drive \"" + std::string(number) + "\" is not a list line number (0, 1, ...)");
        } else if (argument.starts_with("-") && argument.size() > 1) {
            return Usage(error, "unknown option " + std::string(argument));
        } else if (!ReadCommand(argument, options, error)) {
            return Request::Usage;
        }
    }
    return CheckCombination(options, error);
}

std::string_view HelpText() { return kHelp; }

}  // namespace cli
