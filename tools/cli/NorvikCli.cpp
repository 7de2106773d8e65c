// norvik-cli: the console front end of Norvik. The same update package (carried in this
// program's own data), drives, download and update sequence as the window, shown on a terminal;
// on the machine's drives, or on virtual drives given on the command line.

#include <unistd.h>

#include <QtCore/QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/PackageReader.h"
#include "payload/PackageBlock.h"
#include "platform/linux/LinuxSystem.h"
#include "sim/VirtualSystem.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/SignalGuard.h"
#include "tools/cli/TerminalView.h"

namespace {

void PrintVersion()
{
    const PackageReader package(payload::OwnPackageBlock());
    const std::string_view version = package.VersionText();
    const std::string_view product = package.ProductText();
    std::printf("norvik-cli %.*s\n", static_cast<int>(version.size()), version.data());
    std::printf("package for %.*s drives, %s\n", static_cast<int>(product.size()), product.data(),
                package.ImageHoldsPlaceholder() ? "no firmware packed in" : "firmware packed in");
}

std::unique_ptr<sim::VirtualSystem> MakeVirtualSystem(const cli::CliOptions& options)
{
    auto system = std::make_unique<sim::VirtualSystem>(options.NeedsRealClock() ? sim::ClockMode::Real
                                                                                : sim::ClockMode::Virtual);
    for (int i = 0; i < options.virtualCount; ++i) system->AddDrive(options.virtualDrives[static_cast<std::size_t>(i)]);
    if (options.aspi) {
        system->SetPlatformId(sim::VirtualSystem::kPlatformWindows);
        sim::AspiSettings aspi;
        aspi.presence = sim::AspiPresence::Present;
        system->SetAspiManager(aspi);
    }
    return system;
}

// Every command each virtual drive received, in its order, behind the drive's root.
bool WriteTrace(sim::VirtualSystem& system, std::FILE* file)
{
    for (int i = 0; i < system.driveCount(); ++i) {
        for (const std::string& line : system.drive(i).trace()) std::fprintf(file, "%s %s\n", system.rootOf(i), line.c_str());
    }
    return std::fflush(file) == 0 && std::ferror(file) == 0;
}

int Run(const cli::CliOptions& options, platform::System& system)
{
    cli::TerminalSettings settings;
    settings.assumeYes = options.assumeYes;
    settings.interactive = isatty(STDIN_FILENO) == 1;
    settings.inPlace = isatty(STDOUT_FILENO) == 1;
    settings.showDriveList = options.command == cli::Command::Update;
    cli::TerminalView view(stdout, stdin, settings);
    if (options.command == cli::Command::List)
        return cli::RunList(system, payload::OwnPackageBlock(), view, stdout, stderr);
    cli::UpdateChoice choice;
    choice.drive = options.drive;
    choice.virtualSystem = options.Virtual();
    return cli::RunUpdate(system, payload::OwnPackageBlock(), view, choice, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    cli::StartSignalGuard();
    cli::CliOptions options;
    std::string error;
    switch (cli::ParseCliOptions(argc - 1, argv + 1, options, error)) {
    case cli::Request::Help:
        std::fputs(cli::HelpText().data(), stdout);
        return cli::kExitSuccess;
    case cli::Request::Version:
        PrintVersion();
        return cli::kExitSuccess;
    case cli::Request::Usage:
        std::fprintf(stderr, "norvik-cli: %s (see norvik-cli --help)\n", error.c_str());
        return cli::kExitUsage;
    case cli::Request::Run:
        break;
    }

    std::FILE* trace = nullptr;
    if (!options.traceFile.empty() && (trace = std::fopen(options.traceFile.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "norvik-cli: --trace %s: cannot write the file: %s\n", options.traceFile.c_str(),
                     std::strerror(errno));
        return cli::kExitUsage;
    }

    QCoreApplication application(argc, argv);
    int status = cli::kExitSuccess;
    if (options.Virtual()) {
        const std::unique_ptr<sim::VirtualSystem> system = MakeVirtualSystem(options);
        status = Run(options, *system);
        // The run's own status stands: a trace that could not be written changes no drive.
        if (trace != nullptr && !WriteTrace(*system, trace))
            std::fprintf(stderr, "norvik-cli: --trace %s: writing failed\n", options.traceFile.c_str());
    } else {
        platform::LinuxSystem system;
        status = Run(options, system);
    }
    if (trace != nullptr) std::fclose(trace);
    std::fflush(stdout);
    return status;
}
