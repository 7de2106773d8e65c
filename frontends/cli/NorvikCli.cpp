// norvik-cli: the console front end of Norvik. The same update package (carried in this
// program's own data), drives, download and update sequence as the window, shown on a terminal;
// on the machine's drives, or on virtual drives given on the command line.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "frontends/cli/CliCommands.h"
#include "frontends/cli/CliLanguage.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/Machine.h"
#include "frontends/cli/RecordingSystem.h"
#include "frontends/cli/TerminalView.h"
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
    std::printf("norvik-cli %s\n", NORVIK_VERSION);
    std::fputs("package ", stdout);
    cli::WriteAsText(stdout, version, cli::LineFeeds::Escaped);
    std::fputs(" for ", stdout);
    cli::WriteAsText(stdout, product, cli::LineFeeds::Escaped);
    std::printf(" drives, %s, %s\n", package.ImageHoldsPlaceholder() ? "no firmware packed in" : "firmware packed in",
                payload::OwnProfileStoreIsSynthetic() ? "made-up flash profiles"
                : payload::OwnProfileStoreIsSound()   ? "flash profiles packed in"
                                                      : "damaged flash profiles");
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
    std::fprintf(stderr, "norvik-cli: standard output: %s\n", error != 0 ? std::strerror(error) : "write error");
    return false;
}

// Null, with the reason on standard error, when --trace FILE cannot be written; null without it.
std::FILE* OpenTrace(const cli::CliOptions& options)
{
    if (options.traceFile.empty()) return nullptr;
    std::FILE* trace = std::fopen(options.traceFile.c_str(), "w");
    if (trace == nullptr)
        std::fprintf(stderr, "norvik-cli: --trace %s: cannot write the file: %s\n", options.traceFile.c_str(),
                     std::strerror(errno));
    return trace;
}

// The run's own status stands: a trace that could not be written changes no drive.
void CloseTrace(const cli::CliOptions& options, std::FILE* trace)
{
    if (trace == nullptr) return;
    const bool failed = std::ferror(trace) != 0;
    if (std::fclose(trace) != 0 || failed)
        std::fprintf(stderr, "norvik-cli: --trace %s: writing failed\n", options.traceFile.c_str());
}

// With --json, standard output carries the JSON document alone; what the view shows for people
// (messages, questions, progress) goes to standard error.
int Run(const cli::CliOptions& options, platform::System& system)
{
    std::FILE* shown = options.json ? stderr : stdout;
    cli::TerminalSettings settings;
    settings.assumeYes = options.assumeYes;
    settings.interactive = cli::IsTerminal(stdin);
    settings.inPlace = cli::IsTerminal(shown);
    settings.showDriveList = options.command == cli::Command::Update;
    settings.chosenDrive = options.drive;
    cli::TerminalView view(shown, stdin, settings);
    const cli::CliLanguage language;
    view.SetTranslator(language.Texts());
    if (options.command == cli::Command::List) {
        cli::ListChoice choice;
        choice.json = options.json;
        choice.commandNode = options.Virtual() ? nullptr : cli::kMachineCommandNode;
        choice.nodeRefusal = options.Virtual() ? nullptr : cli::kMachineNodeRefusal;
        choice.virtualSystem = options.Virtual();
        return cli::RunList(system, payload::OwnPackageBlock(), view, stdout, stderr, choice);
    }
    cli::UpdateChoice choice;
    choice.drive = options.drive;
    choice.virtualSystem = options.Virtual();
    choice.noRestart = options.noRestart;
    choice.json = options.json ? stdout : nullptr;
    const int status = cli::RunUpdate(system, payload::OwnPackageBlock(), view, choice, shown, stderr);
    if (shown == stdout) outputError = view.OutputError();
    return status;
}

// The command line and the command; returns the exit status.
int RunProgram(int argc, char** argv)
{
    cli::CliOptions options;
    std::string error;
    switch (cli::ParseCliOptions(argc - 1, argv + 1, options, error)) {
    case cli::Request::Help: std::fputs(cli::HelpText().data(), stdout); return cli::kExitSuccess;
    case cli::Request::Version: PrintVersion(); return cli::kExitSuccess;
    case cli::Request::Usage:
        std::fprintf(stderr, "norvik-cli: %s (see norvik-cli --help)\n", error.c_str());
        return cli::kExitUsage;
    case cli::Request::Run: break;
    }

    if (!options.Virtual()) {
        // The machine's drives: the trace comes from the recording system in front of them.
        std::FILE* trace = OpenTrace(options);
        if (!options.traceFile.empty() && trace == nullptr) return cli::kExitUsage;
        cli::Machine machine;
        cli::RecordingSystem recording(machine.System(), trace, options.verbose ? stderr : nullptr, stderr);
        if (options.aspi) recording.AnswerAsNotNt();
        const int status = Run(options, recording);
        CloseTrace(options, trace);
        return status;
    }
    const std::unique_ptr<sim::VirtualSystem> system = MakeVirtualSystem(options, error);
    if (system == nullptr) {
        std::fprintf(stderr, "norvik-cli: %s (see norvik-cli --help)\n", error.c_str());
        return cli::kExitUsage;
    }
    std::FILE* trace = OpenTrace(options);
    if (!options.traceFile.empty() && trace == nullptr) return cli::kExitUsage;
    if (trace != nullptr) TraceInto(*system, trace);
    // Virtual drives write their own trace, as they received each command; --verbose shows
    // what the program sent.
    cli::RecordingSystem recording(*system, nullptr, options.verbose ? stderr : nullptr, stderr);
    const int status = Run(options, recording);
    if (trace != nullptr) TraceInto(*system, nullptr);
    CloseTrace(options, trace);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::StartSignalGuard("norvik-cli");
    if (!cli::GuardStandardStreams()) {
        std::fprintf(stderr, "norvik-cli: standard output: %s\n", std::strerror(EBADF));
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
