#include "frontends/cli/CliOptions.h"

#include <getopt.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "frontends/cli/CliTexts.h"

namespace cli {

namespace {

constexpr std::string_view kHelp = R"(usage: norvik-cli [options] list
       norvik-cli [options] update [--drive N]
       norvik-cli [--json] history
       norvik-cli --help | --version

The console front end of Norvik: the same update package (carried in this
program, packed with norvik-pack), drive discovery, eligibility check, download
and update sequence as the window.

commands:
  list          find the drives and judge them; one line per drive: the
                drive-list entry as the window shows it, two spaces, then
                "updatable bank=B current=C new=REV" (B the firmware bank, 1
                to 4, C 1 when the drive already carries that bank's
                revision), "not allowed: REASON", or, on the machine's drives,
                "not updatable from here: REASON" when this process could not
                send the update's commands through the drive's node. Without
                any optical drive it says so on standard error (status 0)
  update        the start-up and update sequence with the window's texts: the
                refusals, the notice, the already-current question, the disc
                and tray check, the progress and the outcome. The package's
                AUTOMODE updates every updatable drive; otherwise one drive is
                updated: the first updatable one, as the window selects it, or
                the one given with --drive
  history       the journal's records of updates of the machine's drives,
                newest first

options (short ones may be bundled, -yv; "--" ends the options):
  --package FILE
                the update package from FILE instead of the one this program
                carries: a packed Norvik program or a package file
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
  --verbose, -v every command sent and how it ended, by name, on standard
                error, the sense also in words; twice (-vv) the --trace line
                instead, with the command block and the data length
  --json        list: standard output is one JSON object, {"drives": [...],
                "not_listed": [roots past the drive table], "permission_advice":
                text or null, "error"}; per drive: index, root, command_node
                (the SCSI generic node; null on virtual drives or without one),
                host, path, target, lun, vendor, product, revision, verdict
                ("updatable", "not allowed" or "not updatable from here"),
                bank (counted from 1) and new_revision (null when not
                updatable), already_current, reason (why not, in words; else
                null).
                update: the texts for people go to standard error, and
                standard output is one JSON object at the end: exit_status,
                error, outcome (a name such as "updated", "restarted",
                "restart_not_made" (the drives are updated, the restart is
                still due), "update_failed", "notice_declined",
                "usage_error") and drives:
                per drive of the update its index, root, bank (from 1),
                verdict ("updated", "not_started", "given_up",
                "download_failed", "no_answer", "wrong_revision"),
                reported_revision (null when unknown) and expected_revision.
                Every end prints one document: "error" is null on success,
                else {"code", "message"}; a usage error, or a refusal before
                the drives are listed, prints {"exit_status", "error"}.
                Texts from drives and the package: one character per byte
                (Latin-1), control characters as \u00XX
  --help, -h    this text
  --version     the program's version, the package it carries (its version
                text and drives), whether a firmware and real flash profiles
                are packed in

Questions are asked on the terminal (y/N). Without a terminal on standard input
and without --yes, every question is answered No and a message of the disc and
tray check gives the drive up, so nothing is flashed unasked. On a terminal the
progress is one line updated in place; otherwise a line per phase and per 10 %
of the image data written to the drives and read back. The sequence's messages
go to standard output with their kind ("Error: ..."); errors of the command line
go to standard error, each starting with the program's name as invoked. Texts
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

// Long options without a short form return these codes from getopt_long.
enum LongOnly : int {
    kVersion = 0x100,
    kAspi,
    kJson,
    kNoRestart,
    kDrive,
    kVirtual,
    kTrace,
    kPackage,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"yes", no_argument, nullptr, 'y'},
    {"verbose", no_argument, nullptr, 'v'},
    {"aspi", no_argument, nullptr, kAspi},
    {"json", no_argument, nullptr, kJson},
    {"no-restart", no_argument, nullptr, kNoRestart},
    {"drive", required_argument, nullptr, kDrive},
    {"virtual", required_argument, nullptr, kVirtual},
    {"trace", required_argument, nullptr, kTrace},
    {"package", required_argument, nullptr, kPackage},
    {nullptr, 0, nullptr, 0},
};

// "-" first: every other argument comes back in order as code 1 (the command word), so that
// options may follow the command and nothing is reordered; ":" next: getopt_long prints nothing,
// a missing value comes back as ':'.
constexpr char kShortOptions[] = "-:hyv";

// The option as written, for a message: "--name" or "-c".
std::string OptionName(int code)
{
    for (const option& entry : kLongOptions)
        if (entry.name != nullptr && entry.val == code) return std::string("--") + entry.name;
    return std::string("-") + static_cast<char>(code);
}

bool ReadDriveNumber(std::string_view text, int& drive)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), drive);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && drive >= 0;
}

// A usage error in English, for the JSON document, and as a person reads it.
struct UsageError {
    std::string english;
    std::string shown;
};

// The format with each "%s" replaced by the next argument.
std::string Filled(std::string_view format, std::initializer_list<std::string_view> arguments)
{
    std::string text;
    auto argument = arguments.begin();
    for (std::size_t at; (at = format.find("%s")) != std::string_view::npos && argument != arguments.end();
         format.remove_prefix(at + 2))
        text.append(format.substr(0, at)).append(*argument++);
    return text.append(format);
}

Request Usage(UsageError& error, std::string_view format, std::initializer_list<std::string_view> arguments = {})
{
    error.english = Filled(format, arguments);
    error.shown = Filled(ConsoleText(format), arguments);
    return Request::Usage;
}

bool ReadCommand(std::string_view word, CliOptions& options, UsageError& error)
{
    if (options.command != Command::None) {
        Usage(error, console::kMoreThanOneCommandFormat, {word});
        return false;
    }
    if (word == "list") {
        options.command = Command::List;
    } else if (word == "update") {
        options.command = Command::Update;
    } else if (word == "history") {
        options.command = Command::History;
    } else {
        Usage(error, console::kUnknownCommandFormat, {word});
        return false;
    }
    return true;
}

bool AddVirtualDrive(const char* drive, CliOptions& options, UsageError& error)
{
    if (options.virtualCount == kMaxVirtualDrives) {
        Usage(error, console::kTooManyVirtualFormat, {std::to_string(kMaxVirtualDrives)});
        return false;
    }
    std::string reason;
    sim::DriveSetup& setup = options.virtualDrives[static_cast<std::size_t>(options.virtualCount)];
    setup = sim::DriveSetup{};
    if (!sim::ParseDriveSetup(drive, setup, reason)) {
        Usage(error, console::kVirtualRefusedFormat, {drive, reason});
        return false;
    }
    ++options.virtualCount;
    return true;
}

#ifdef _WIN32
constexpr std::string_view kFolderSeparators = "/\\:";
constexpr bool kStripExe = true;
#else
constexpr std::string_view kFolderSeparators = "/";
constexpr bool kStripExe = false;
#endif

// Windows offers an ASPI manager beside the pass-through route; Linux has none.
#ifdef _WIN32
constexpr bool kMachineHasAspiManager = true;
#else
constexpr bool kMachineHasAspiManager = false;
#endif

// Options that only make sense together with others.
Request CheckCombination(const CliOptions& options, UsageError& error)
{
    if (options.command == Command::None) return Usage(error, console::kNoCommand);
    if (options.drive != kNoDriveChosen && options.command != Command::Update)
        return Usage(error, console::kDriveWithUpdate);
    if (options.aspi && !options.Virtual() && !kMachineHasAspiManager) return Usage(error, console::kAspiWithVirtual);
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

namespace {

// What a missing value means for each option that takes one. mingw-w64 also comes here for a
// value given to an option that takes none ("--json=1"), where glibc reports an unknown option.
Request MissingValue(int code, const char* const* argv, UsageError& error)
{
    const std::string_view argument = argv[optind - 1];
    if (argument.starts_with("--") && argument.find('=') != std::string_view::npos)
        return Usage(error, console::kTakesNoValueFormat, {OptionName(code)});
    switch (code) {
    case kVirtual: return Usage(error, console::kVirtualNeedsDrive);
    case kTrace: return Usage(error, console::kTraceNeedsFile);
    case kDrive: return Usage(error, console::kDriveNeedsNumber);
    case kPackage: return Usage(error, console::kPackageNeedsFile);
    default: return Usage(error, console::kNeedsValueFormat, {OptionName(code)});
    }
}

// An option getopt_long does not take. A long one is the argument just read: unknown (or an
// ambiguous abbreviation, optopt 0) or given a value it takes none of; a short one is in optopt.
Request UnknownOption(const char* const* argv, UsageError& error)
{
    const std::string_view argument = argv[optind - 1];
    if (!argument.starts_with("--"))
        return Usage(error, console::kUnknownShortOptionFormat, {std::string(1, static_cast<char>(optopt))});
    if (optopt != 0) return Usage(error, console::kTakesNoValueFormat, {OptionName(optopt)});
    const std::string_view name = argument.substr(2, argument.find('=') - 2);
    std::string candidates;
    for (const option& entry : kLongOptions)
        if (entry.name != nullptr && std::string_view(entry.name).starts_with(name))
            candidates += (candidates.empty() ? "--" : ", --") + std::string(entry.name);
    if (!candidates.empty()) return Usage(error, console::kAmbiguousOptionFormat, {name, candidates});
    return Usage(error, console::kUnknownLongOptionFormat, {name});
}

// One option with its value (optarg, when it takes one).
Request ReadOption(int code, const char* value, CliOptions& options, UsageError& error)
{
    switch (code) {
    case 'y': options.assumeYes = true; break;
    case 'v': ++options.verbosity; break;
    case kAspi: options.aspi = true; break;
    case kJson: options.json = true; break;
    case kNoRestart: options.noRestart = true; break;
    case kVirtual:
        if (!AddVirtualDrive(value, options, error)) return Request::Usage;
        break;
    case kTrace:
        if (value[0] == '\0') return Usage(error, console::kTraceNeedsFile);
        options.traceFile = value;
        break;
    case kPackage:
        if (value[0] == '\0') return Usage(error, console::kPackageNeedsFile);
        options.packageFile = value;
        break;
    case kDrive:
        if (!ReadDriveNumber(value, options.drive)) return Usage(error, console::kNotALineNumberFormat, {value});
        break;
    default: break;
    }
    return Request::Run;
}

}  // namespace

namespace {

Request ReadArguments(int argc, const char* const* argv, CliOptions& options, UsageError& error)
{
    // getopt_long reads argv from index 1 and may write to the array it is given: a copy behind a
    // program name. optind 0 starts it afresh (glibc and mingw-w64 alike), so a second parse in
    // one process reads its own arguments.
    std::vector<char*> arguments(static_cast<std::size_t>(argc) + 2, nullptr);
    char programName[] = "norvik-cli";
    arguments[0] = programName;
    for (int i = 0; i < argc; ++i) arguments[static_cast<std::size_t>(i) + 1] = const_cast<char*>(argv[i]);
    char* const* list = arguments.data();
    optind = 0;
    opterr = 0;
    for (int code; (code = getopt_long(argc + 1, list, kShortOptions, kLongOptions, nullptr)) != -1;) {
        switch (code) {
        case 'h': return Request::Help;
        case kVersion: return Request::Version;
        case ':': return MissingValue(optopt, list, error);
        case '?': return UnknownOption(list, error);
        case 1:
            if (!ReadCommand(optarg, options, error)) return Request::Usage;
            break;
        default:
            if (ReadOption(code, optarg, options, error) == Request::Usage) return Request::Usage;
        }
    }
    // What follows "--" is read as words, never as options.
    for (int index = optind; index <= argc; ++index)
        if (!ReadCommand(list[index], options, error)) return Request::Usage;
    return CheckCombination(options, error);
}

}  // namespace

Request ParseCliOptions(int argc, const char* const* argv, CliOptions& options, std::string& error, std::string* shown)
{
    UsageError usage;
    const Request request = ReadArguments(argc, argv, options, usage);
    error = std::move(usage.english);
    if (shown != nullptr) *shown = std::move(usage.shown);
    return request;
}

bool JsonAsked(int argc, const char* const* argv)
{
    constexpr std::string_view kJson = "--json";
    for (int index = 0; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--") return false;
        if (argument.size() >= 3 && kJson.starts_with(argument)) return true;
    }
    return false;
}

std::string_view HelpText() { return kHelp; }

std::string_view InvokedName(const char* argv0)
{
    std::string_view name = argv0 != nullptr ? argv0 : "";
    const std::size_t folder = name.find_last_of(kFolderSeparators);
    if (folder != std::string_view::npos) name.remove_prefix(folder + 1);
    if (kStripExe && name.size() > 4) {
        const std::string_view suffix = name.substr(name.size() - 4);
        const bool exe = suffix[0] == '.' && std::tolower(static_cast<unsigned char>(suffix[1])) == 'e' &&
                         std::tolower(static_cast<unsigned char>(suffix[2])) == 'x' &&
                         std::tolower(static_cast<unsigned char>(suffix[3])) == 'e';
        if (exe) name.remove_suffix(4);
    }
    return name.empty() ? std::string_view("norvik-cli") : name;
}

namespace {
char programName[64] = "norvik-cli";
}  // namespace

void SetProgramName(const char* argv0)
{
    const std::string_view name = InvokedName(argv0);
    std::snprintf(programName, sizeof programName, "%.*s", static_cast<int>(name.size()), name.data());
}

const char* ProgramName() { return programName; }

}  // namespace cli
