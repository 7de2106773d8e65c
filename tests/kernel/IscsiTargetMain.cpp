// norvik-iscsi-target: serves virtual drives as iSCSI logical units on 127.0.0.1, so that QEMU
// can hand them to a guest's kernel, and prints every drive's command trace when it stops
// (SIGINT or SIGTERM). The kernel test rig (tests/kernel/run) runs it beside the guest.

#include <signal.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "iscsi/IscsiTarget.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr const char* kUsage =
    "usage: norvik-iscsi-target [--port N] [--name IQN] [--initial-r2t yes|no]\n"
    "                           [--immediate-data yes|no] [--no-attach-answers] [--descriptor-sense]\n"
    "                           [--portal-address ADDRESS] [--ready FILE] [--trace FILE] DRIVE...\n"
    "Serves each DRIVE, a virtual drive in its text form (e.g. rev=RN05,chip=BFD60001), as the\n"
    "next LUN (0, 1, ...) on 127.0.0.1:N (default 3260; 0 picks a free port). --ready writes the\n"
    "port to FILE once the target listens; --descriptor-sense sends sense data in descriptor\n"
    "format (72h); --portal-address names the address that discovery answers (default\n"
    "127.0.0.1: an initiator behind address translation reaches the target elsewhere);\n"
    "--no-attach-answers leaves an empty drive's first READ CAPACITY to the drive (QEMU then\n"
    "refuses the LUN).\n"
    "On SIGINT or SIGTERM it prints, to FILE or standard\n"
    "output, each drive's state and trace:\n"
    "  state LUN revision=RN08 flash=good|damaged|untouched commands=N\n"
    "  trace LUN <command block> <in|out|none> <length> <outcome>\n"
    "  time LUN N ARRIVED STARTED   (the N-th trace line's command arrived at the target and was\n"
    "                               handed to the drive, in seconds since the target started)\n"
    "Events (logins, aborted tasks, resets) go to standard error.\n";

iscsi::IscsiTarget* runningTarget = nullptr;

void StopOnSignal(int)
{
    if (runningTarget != nullptr) runningTarget->Stop();
}

struct Options {
    uint16_t port = 3260;
    iscsi::TargetSettings settings;
    std::string readyFile;
    std::string traceFile;
    std::vector<std::string> drives;
};

bool Refuse(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

bool ReadYesNo(std::string_view text, bool& value)
{
    if (text != "yes" && text != "no") return false;
    value = text == "yes";
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const bool hasValue = index + 1 < argc;
        const std::string_view value = hasValue ? argv[index + 1] : "";
        if (argument == "--no-attach-answers") {
            options.settings.answerAttachCommands = false;
            continue;
        }
        if (argument == "--descriptor-sense") {
            options.settings.descriptorSense = true;
            continue;
        }
        if (!argument.starts_with("--")) {
            options.drives.emplace_back(argument);
            continue;
        }
        if (!hasValue) return Refuse(error, std::string(argument) + " needs a value");
        ++index;
        bool ok = true;
        if (argument == "--port") {
            const long number = std::strtol(argv[index], nullptr, 10);
            ok = number >= 0 && number <= 65535 && value.find_first_not_of("0123456789") == std::string_view::npos;
            options.port = static_cast<uint16_t>(number);
        } else if (argument == "--name") {
            ok = !value.empty() && value.size() < sizeof options.settings.name;
            if (ok) std::snprintf(options.settings.name, sizeof options.settings.name, "%s", argv[index]);
        } else if (argument == "--portal-address") {
            ok = !value.empty() && value.size() < sizeof options.settings.portalAddress;
            if (ok)
                std::snprintf(options.settings.portalAddress, sizeof options.settings.portalAddress, "%s", argv[index]);
        } else if (argument == "--initial-r2t") {
            ok = ReadYesNo(value, options.settings.initialR2T);
        } else if (argument == "--immediate-data") {
            ok = ReadYesNo(value, options.settings.immediateData);
        } else if (argument == "--ready") {
            options.readyFile = value;
        } else if (argument == "--trace") {
            options.traceFile = value;
        } else {
            return Refuse(error, "unknown option " + std::string(argument));
        }
        if (!ok) return Refuse(error, "bad value for " + std::string(argument) + ": " + std::string(value));
    }
    if (options.drives.empty()) return Refuse(error, "no drive given");
    return true;
}

const char* FlashStateName(sim::FlashState state)
{
    switch (state) {
    case sim::FlashState::Good: return "good";
    case sim::FlashState::Damaged: return "damaged";
    case sim::FlashState::Untouched: return "untouched";
    }
    return "untouched";
}

double Seconds()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + time.tv_nsec / 1e9;
}

bool WriteReadyFile(const std::string& path, uint16_t port)
{
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return false;
    std::fprintf(file, "%u\n", unsigned{port});
    const bool written = std::fclose(file) == 0;
    return written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

void PrintDrives(FILE* out, const std::vector<std::unique_ptr<sim::VirtualDrive>>& drives,
                 const std::vector<std::vector<std::pair<double, double>>>& times)
{
    for (size_t lun = 0; lun < drives.size(); ++lun) {
        const sim::VirtualDrive& drive = *drives[lun];
        std::fprintf(out, "state %zu revision=%s flash=%s commands=%u\n", lun, drive.revision(),
                     FlashStateName(drive.flashState()), drive.commandCount());
        for (const std::string& line : drive.trace()) std::fprintf(out, "trace %zu %s\n", lun, line.c_str());
        for (size_t index = 0; index < times[lun].size(); ++index) {
            std::fprintf(out, "time %zu %zu %.6f %.6f\n", lun, index + 1, times[lun][index].first,
                         times[lun][index].second);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "norvik-iscsi-target: %s\n%s", error.c_str(), kUsage);
        return 2;
    }

    std::vector<std::unique_ptr<sim::VirtualDrive>> drives;
    iscsi::IscsiTarget target(options.settings);
    for (const std::string& drive : options.drives) {
        sim::DriveSetup setup;
        if (!sim::ParseDriveSetup(drive, setup, error)) {
            std::fprintf(stderr, "norvik-iscsi-target: drive \"%s\": %s\n", drive.c_str(), error.c_str());
            return 2;
        }
        drives.push_back(std::make_unique<sim::VirtualDrive>(setup.drive));
        for (int index = 0; index < setup.faultCount; ++index) drives.back()->AddFault(setup.faults[index]);
        if (!target.AddLun(*drives.back())) {
            std::fprintf(stderr, "norvik-iscsi-target: more drives than the target serves\n");
            return 2;
        }
    }
    if (!target.Listen(options.port, error)) {
        std::fprintf(stderr, "norvik-iscsi-target: cannot listen on %s\n", error.c_str());
        return 1;
    }

    const double start = Seconds();
    std::vector<std::vector<std::pair<double, double>>> times(drives.size());
    target.SetCommandObserver([&times, start](uint16_t lun, const iscsi::UnitCommand& command, double now) {
        times[lun].emplace_back(command.arrivedAt - start, now - start);
    });
    target.SetEventSink([start](std::string_view text) {
        std::fprintf(stderr, "[%8.3f] target: %.*s\n", Seconds() - start, int(text.size()), text.data());
    });
    runningTarget = &target;
    signal(SIGINT, StopOnSignal);
    signal(SIGTERM, StopOnSignal);
    std::fprintf(stderr, "norvik-iscsi-target: %s on 127.0.0.1:%u, %zu LUN(s)\n", options.settings.name,
                 unsigned{target.port()}, drives.size());
    if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, target.port())) {
        std::fprintf(stderr, "norvik-iscsi-target: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    target.Run();
    runningTarget = nullptr;

    FILE* out = options.traceFile.empty() ? stdout : std::fopen(options.traceFile.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "norvik-iscsi-target: cannot write %s\n", options.traceFile.c_str());
        out = stdout;
    }
    const iscsi::TargetTotals& totals = target.totals();
    std::fprintf(stderr,
                 "norvik-iscsi-target: %u connection(s), %u login(s), %u command(s), %u aborted, "
                 "%u reset(s), %u protocol error(s), %u attach answer(s), %u ping(s) answered\n",
                 totals.connections, totals.logins, totals.commands, totals.abortedTasks, totals.unitResets,
                 totals.protocolErrors, target.attachAnswers(), totals.pingsAnswered);
    PrintDrives(out, drives, times);
    if (out != stdout) std::fclose(out);
    return 0;
}
