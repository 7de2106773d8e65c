#include "frontends/cli/CliOptions.h"

#include <getopt.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "frontends/cli/CliHelp.h"
#include "frontends/cli/CliTexts.h"

namespace cli {

namespace {

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

std::string HelpText() { return std::string(ConsoleText(console::kHelpHead)).append(ConsoleText(console::kHelpTail)); }

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
