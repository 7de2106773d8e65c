// norvik-cli: the console front end of Norvik. The same update package (carried in this
// program's own data), drives, download and update sequence as the window, shown on a terminal;
// on the machine's drives, or on virtual drives given on the command line.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "frontends/cli/CliCommands.h"
#include "frontends/cli/CliHistory.h"
#include "frontends/cli/CliLanguage.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/CliTexts.h"
#include "frontends/cli/Machine.h"
#include "frontends/cli/RecordingSystem.h"
#include "frontends/cli/TerminalView.h"
#include "package/PackageInUse.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/ProfileStore.h"
#include "platform/ProcessSignals.h"
#include "sim/VirtualSystem.h"

namespace {

// The program's own version, then the package it carries: its version text, its drives, and
// whether a firmware and real flash profiles are packed in.
void PrintVersion()
{
    const PackageReader package(payload::OwnPackageBlock());
    const std::string_view version = package.VersionText();
    const std::string_view product = package.ProductText();
    std::printf("%s %s\n", cli::ProgramName(), NORVIK_VERSION);
    std::fputs("package ", stdout);
    cli::WriteAsText(stdout, version, cli::LineFeeds::Escaped);
    std::fputs(" for ", stdout);
    cli::WriteAsText(stdout, product, cli::LineFeeds::Escaped);
    std::printf(" drives, %s, %s\n", package.ImageHoldsPlaceholder() ? "no firmware packed in" : "firmware packed in",
                payload::OwnProfileStoreIsSynthetic() ? "made-up flash profiles"
                : payload::OwnProfileStoreIsSound()   ? "flash profiles packed in"
                                                      : "damaged flash profiles");
    std::fputs("License: Apache-2.0\n", stdout);
}

// The help text with the program named as it was invoked.
void PrintHelp()
{
    constexpr std::string_view kBuiltName = "norvik-cli";
    const std::string text = cli::HelpText();
    std::string_view help = text;
    for (std::size_t at; (at = help.find(kBuiltName)) != std::string_view::npos;
         help.remove_prefix(at + kBuiltName.size()))
        std::printf("%.*s%s", static_cast<int>(at), help.data(), cli::ProgramName());
    std::fwrite(help.data(), 1, help.size(), stdout);
}

bool RootTaken(sim::VirtualSystem& system, const char* root)
{
    for (int i = 0; i < system.driveCount(); ++i)
        if (std::strcmp(system.rootOf(i), root) == 0) return true;
    return false;
}

// Null, with the reason, when the virtual system does not take one of the drives: a drive left
// out would change what the run is about.
std::unique_ptr<sim::VirtualSystem> MakeVirtualSystem(const cli::CliOptions& options, std::string& reason)
{
    auto system = std::make_unique<sim::VirtualSystem>(options.NeedsRealClock() ? sim::ClockMode::Real
                                                                                : sim::ClockMode::Virtual);
    for (int i = 0; i < options.virtualCount; ++i) {
        const sim::DriveSetup& setup = options.virtualDrives[static_cast<std::size_t>(i)];
        if (system->AddDrive(setup) != nullptr) continue;
        char root[32];
        if (setup.root[0] != '\0')
            std::snprintf(root, sizeof root, "%s", setup.root);
        else
            std::snprintf(root, sizeof root, "/dev/sr%d", i);
        reason = "--virtual drive " + std::to_string(i + 1) + ": the virtual system does not take it (root " + root +
                 (RootTaken(*system, root) ? " is taken by another drive)" : "; no room for another drive)");
        return nullptr;
    }
    if (options.aspi) {
        system->SetPlatformId(sim::VirtualSystem::kPlatformWindows);
        sim::AspiSettings aspi;
        aspi.presence = sim::AspiPresence::Present;
        system->SetAspiManager(aspi);
    }
    return system;
}

// Every command each virtual drive receives, behind the drive's root, as it is answered.
void TraceInto(sim::VirtualSystem& system, std::FILE* file)
{
    for (int i = 0; i < system.driveCount(); ++i) system.drive(i).SetTraceFile(file, system.rootOf(i));
}

// Why standard output first failed, as the view saw it (the stream itself keeps no reason).
int outputError = 0;

// Whether everything written to standard output reached it; if not, says why on standard error.
bool CloseStandardOutput()
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    int error = outputError != 0 ? outputError : errno;
    const bool failedBefore = std::ferror(stdout) != 0;
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    if (error == 0) error = errno;
    if (flushed && closed && !failedBefore) return true;
    std::fprintf(stderr, "%s: standard output: %s\n", cli::ProgramName(),
                 error != 0 ? std::strerror(error) : "write error");
    return false;
}

// Null, with the reason, when --trace FILE cannot be written; null without it.
std::FILE* OpenTrace(const cli::CliOptions& options, std::string& reason)
{
    if (options.traceFile.empty()) return nullptr;
    std::FILE* trace = std::fopen(options.traceFile.c_str(), "w");
    if (trace == nullptr) reason = "--trace " + options.traceFile + ": cannot write the file: " + std::strerror(errno);
    return trace;
}

// An end before anything runs: one line on standard error and, with --json, the error document
// on standard output (the reason in English there, in the user's language on the line).
int Refuse(bool json, int status, std::string_view code, const std::string& reason, bool seeHelp,
           std::string_view shownReason = {})
{
    const std::string shown(shownReason.empty() ? cli::ConsoleText(reason) : shownReason);
    if (seeHelp)
        std::fprintf(stderr, cli::ConsoleFormat(cli::console::kSeeHelpFormat), cli::ProgramName(), shown.c_str(),
                     cli::ProgramName());
    else
        std::fprintf(stderr, "%s: %s\n", cli::ProgramName(), shown.c_str());
    if (json) cli::WriteErrorDocument(stdout, status, code, reason);
    return status;
}

// The run's own status stands: a trace that could not be written changes no drive.
void CloseTrace(const cli::CliOptions& options, std::FILE* trace)
{
    if (trace == nullptr) return;
    const bool failed = std::ferror(trace) != 0;
    if (std::fclose(trace) != 0 || failed)
        std::fprintf(stderr, "%s: --trace %s: writing failed\n", cli::ProgramName(), options.traceFile.c_str());
}

// With --json, standard output carries the JSON document alone; what the view shows for people
// (messages, questions, progress) goes to standard error.
int Run(const cli::CliOptions& options, platform::System& system, const cli::TransferCounter& transfers,
        const PackageInUse& package)
{
    std::FILE* shown = options.json ? stderr : stdout;
    cli::TerminalSettings settings;
    settings.assumeYes = options.assumeYes;
    settings.interactive = cli::IsTerminal(stdin);
    settings.inPlace = cli::IsTerminal(shown);
    settings.showDriveList = options.command == cli::Command::Update;
    settings.chosenDrive = options.drive;
    // The ASPI route's commands bypass the count.
    settings.transfers = options.aspi ? nullptr : &transfers;
    cli::TerminalView view(shown, stdin, settings);
    view.SetTranslator(cli::ConsoleTranslator());
    if (options.command == cli::Command::List) {
        cli::ListChoice choice;
        choice.json = options.json;
        choice.commandNode = options.Virtual() ? nullptr : cli::kMachineCommandNode;
        choice.nodeRefusal = options.Virtual() ? nullptr : cli::kMachineNodeRefusal;
        choice.virtualSystem = options.Virtual();
        return cli::RunList(system, package.Block(), view, stdout, stderr, choice);
    }
    cli::UpdateChoice choice;
    choice.drive = options.drive;
    choice.virtualSystem = options.Virtual();
    choice.noRestart = options.noRestart;
    choice.json = options.json ? stdout : nullptr;
    choice.packageIdentity = package.IdentityHex();
    const int status = cli::RunUpdate(system, package.Block(), view, choice, shown, stderr);
    if (shown == stdout) outputError = view.OutputError();
    return status;
}

// The package of the run: the one in --package FILE, or the program's own; null, with the
// reason (in English, and as shown), when it must not be used. A package without image digests
// is used, and said so once.
std::unique_ptr<PackageInUse> ChoosePackage(const cli::CliOptions& options, std::string& reason, std::string& shown)
{
    auto package = std::make_unique<PackageInUse>();
    const char* path = options.packageFile.c_str();
    if (!package->Choose(path, cli::kOwnProgramFile, reason)) {
        const std::string what = options.packageFile.empty() ? "" : "--package " + options.packageFile;
        shown = (what.empty() ? std::string(cli::ConsoleText(cli::console::kOwnPackageRefused)) : what) + ": " +
                std::string(cli::ConsoleText(reason));
        reason = (what.empty() ? std::string(cli::console::kOwnPackageRefused) : what) + ": " + reason;
        return nullptr;
    }
    if (package->Digests() == DigestState::NoneRecorded) {
        const char* format = cli::ConsoleFormat(cli::console::kNoDigestsFormat);
        const char* what = package->FromFile() ? path : cli::ConsoleFormat(cli::console::kOwnPackage);
        std::string note(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, what)), '\0');
        std::snprintf(note.data(), note.size() + 1, format, what);
        std::fprintf(stderr, cli::ConsoleFormat(cli::console::kNoteFormat), cli::ProgramName(), note.c_str());
    }
    return package;
}

// The command line and the command; returns the exit status.
int RunProgram(int argc, char** argv)
{
    cli::CliOptions options;
    std::string error;
    std::string shownError;
    const cli::CliLanguage language;
    cli::SetConsoleTranslator(language.Texts());
    switch (cli::ParseCliOptions(argc - 1, argv + 1, options, error, &shownError)) {
    case cli::Request::Help: PrintHelp(); return cli::kExitSuccess;
    case cli::Request::Version: PrintVersion(); return cli::kExitSuccess;
    case cli::Request::Usage:
        return Refuse(cli::JsonAsked(argc - 1, argv + 1), cli::kExitUsage, "usage_error", error, true, shownError);
    case cli::Request::Run: break;
    }
    if (options.command == cli::Command::History) {
        // Updates of virtual drives leave no record: the history is always the machine's.
        if (options.Virtual())
            return Refuse(options.json, cli::kExitUsage, "usage_error",
                          std::string(cli::console::kVirtualWithListAndUpdate), true);
        const std::unique_ptr<platform::JournalHistory> history = cli::MakeMachineHistory();
        return cli::RunHistory(history.get(), options.json, stdout, stderr);
    }

    // Chosen, and its images checked, before any drive is touched.
    std::string reason;
    std::string shownReason;
    const std::unique_ptr<PackageInUse> package = ChoosePackage(options, reason, shownReason);
    if (package == nullptr)
        return Refuse(options.json, cli::kExitRefused, "package_refused", reason, false, shownReason);

    cli::TransferCounter transfers;
    std::FILE* const verbose = options.verbosity >= cli::kVerboseCommands ? stderr : nullptr;
    if (!options.Virtual()) {
        // The machine's drives: the trace comes from the recording system in front of them.
        std::FILE* trace = OpenTrace(options, error);
        if (!options.traceFile.empty() && trace == nullptr)
            return Refuse(options.json, cli::kExitUsage, "usage_error", error, false);
        cli::Machine machine;
        cli::RecordingSystem recording(machine.System(), trace, verbose, stderr);
        recording.SetVerbosity(options.verbosity);
        recording.CountTransfersInto(&transfers);
        if (options.aspi) recording.AnswerAsNotNt();
        const int status = Run(options, recording, transfers, *package);
        CloseTrace(options, trace);
        return status;
    }
    const std::unique_ptr<sim::VirtualSystem> system = MakeVirtualSystem(options, error);
    if (system == nullptr) return Refuse(options.json, cli::kExitUsage, "usage_error", error, true);
    std::FILE* trace = OpenTrace(options, error);
    if (!options.traceFile.empty() && trace == nullptr)
        return Refuse(options.json, cli::kExitUsage, "usage_error", error, false);
    if (trace != nullptr) TraceInto(*system, trace);
    // Virtual drives write their own trace, as they received each command; --verbose shows
    // what the program sent.
    cli::RecordingSystem recording(*system, nullptr, verbose, stderr);
    recording.SetVerbosity(options.verbosity);
    recording.CountTransfersInto(&transfers);
    const int status = Run(options, recording, transfers, *package);
    if (trace != nullptr) TraceInto(*system, nullptr);
    CloseTrace(options, trace);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    cli::SetProgramName(argc > 0 ? argv[0] : nullptr);
    platform::StartSignalGuard(cli::ProgramName());
    if (!cli::GuardStandardStreams()) {
        std::fprintf(stderr, "%s: standard output: %s\n", cli::ProgramName(), std::strerror(EBADF));
        return cli::kExitUpdateFailed;
    }
    const int status = RunProgram(argc, argv);
    // A run's own failure stands; a success whose output was lost is none.
    const bool outputWritten = CloseStandardOutput();
    // A signal held off while the firmware was written ends the program now, the outcome shown
    // (and, with --json, the status it ends with written).
    platform::ActOnSignal(platform::SettleEndingSignal());
    return outputWritten || status != cli::kExitSuccess ? status : cli::kExitUpdateFailed;
}
