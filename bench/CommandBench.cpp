// What the program adds to the drive's own time, one function at a time: the transport's cost
// per command over the drive's direct entry, the firmware download and the drive scan against
// the realistic timing model on the real clock, and the heap allocations of the hot paths.
// Prints one "name: value" line per figure; Google Benchmark's own table goes to standard error.
//
// Usage: norvik_bench_commands [--full] [Google Benchmark options]

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchDrives.h"
#include "device/AtapiDevice.h"
#include "device/DriveCommands.h"
#include "sim/VirtualSystem.h"
#include "tests/support/AllocationCounter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kImageSize = 1048576;
constexpr int kScanDrives = 16;
constexpr int kCountedCommands = 10000;
// The download's own pause before the commit: part of what the procedure is meant to take.
constexpr double kDownloadPauseSeconds = 1.0;
// A ready drive takes two readiness polls, the stop, the identification, the profile packet,
// 64 blocks written, 64 read back and the commit: no poll needs a wait in between.
constexpr uint32_t kDownloadCommands = 2 + 1 + 2 + 64 + 64 + 1;

constexpr uint8_t kTestUnitReady[platform::kCdbSize] = {};

struct Mode {
    bool full = false;
    int repetitions = 3;
    double minSeconds = 0.2;
    int downloads = 1;
    int scans = 10;
};

// What the timed loops measured beyond what Google Benchmark reports.
struct Accounting {
    double modelledSeconds = 0.0;
    double measuredSeconds = 0.0;
    bool failed = false;
};
Accounting downloadAccounting;
Accounting scanAccounting;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

const uint8_t* Image()
{
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bytes(kImageSize);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
        return bytes;
    }();
    return image.data();
}

// A device object that has scanned the system and selected its first drive.
std::unique_ptr<AtapiDevice> SelectedDevice(sim::VirtualSystem& system)
{
    auto device = std::make_unique<AtapiDevice>(system, true);
    if (!device->SelectDrive(0)) return nullptr;
    return device;
}

void BM_ExecuteCommand(benchmark::State& state)
{
    sim::VirtualSystem system(sim::ClockMode::Real);
    bench::AddReadyDrives(system, 1, sim::DriveTiming::Instant());
    const std::unique_ptr<AtapiDevice> device = SelectedDevice(system);
    if (device == nullptr) return state.SkipWithError("the drive could not be selected");
    for (auto _ : state) {
        const bool good = device->ExecuteCommand(kTestUnitReady, platform::DataDirection::None, 0);
        benchmark::DoNotOptimize(good);
    }
    if (!device->ExecuteCommand(kTestUnitReady, platform::DataDirection::None, 0))
        state.SkipWithError("TEST UNIT READY did not come back good");
}

// The same drive, the same command block as the seam hands it over, without the program.
void BM_DriveExecute(benchmark::State& state)
{
    sim::VirtualSystem system(sim::ClockMode::Real);
    bench::AddReadyDrives(system, 1, sim::DriveTiming::Instant());
    sim::CommandRequest request{};
    std::memcpy(request.cdb, kTestUnitReady, sizeof request.cdb);
    request.direction = platform::DataDirection::None;
    request.timeoutSeconds = (kDefaultCommandTimeoutMs + platform::kDriverTimeoutMarginMs) / 1000.0;
    sim::VirtualDrive& drive = system.drive(0);
    for (auto _ : state) {
        const sim::CommandReply reply = drive.Execute(request);
        benchmark::DoNotOptimize(reply);
    }
    const sim::CommandReply last = drive.Execute(request);
    if (!last.delivered || last.hasSense) state.SkipWithError("TEST UNIT READY did not come back good");
}

// One whole download per iteration on a fresh drive with the realistic model, real clock.
void BM_DownloadFirmware(benchmark::State& state)
{
    for (auto _ : state) {
        sim::VirtualSystem system(sim::ClockMode::Real);
        bench::AddReadyDrives(system, 1, sim::DriveTiming::Realistic());
        const std::unique_ptr<AtapiDevice> device = SelectedDevice(system);
        if (device == nullptr) return state.SkipWithError("the drive could not be selected");
        const double modelledBefore = bench::ModelledSeconds(system);
        const uint32_t commandsBefore = system.drive(0).commandCount();

        const Clock::time_point start = Clock::now();
        const bool programmed = device->DownloadFirmware(Image(), kImageSize, 0);
        const double measured = SecondsSince(start);

        state.SetIterationTime(measured);
        const uint32_t commands = system.drive(0).commandCount() - commandsBefore;
        if (!programmed || !bench::AllProgrammedGood(system) || commands != kDownloadCommands) {
            downloadAccounting.failed = true;
            return state.SkipWithError("the download did not program the drive as expected");
        }
        downloadAccounting.modelledSeconds += bench::ModelledSeconds(system) - modelledBefore + kDownloadPauseSeconds;
        downloadAccounting.measuredSeconds += measured;
    }
}

// Discovery of sixteen drives with the realistic model, real clock: the device object's scan.
void BM_ScanDrives(benchmark::State& state)
{
    sim::VirtualSystem system(sim::ClockMode::Real);
    bench::AddReadyDrives(system, kScanDrives, sim::DriveTiming::Realistic());
    for (auto _ : state) {
        const double modelledBefore = bench::ModelledSeconds(system);
        const Clock::time_point start = Clock::now();
        AtapiDevice device(system, true);
        const double measured = SecondsSince(start);
        state.SetIterationTime(measured);
        if (device.DriveCount() != kScanDrives) {
            scanAccounting.failed = true;
            return state.SkipWithError("the scan did not find every drive");
        }
        scanAccounting.modelledSeconds += bench::ModelledSeconds(system) - modelledBefore;
        scanAccounting.measuredSeconds += measured;
    }
}

// Keeps the median of every benchmark's repetitions (or its single run) by name.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || run.run_type == Run::RT_Iteration)
                nanoseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Nanoseconds(const std::string& name) const
    {
        const auto found = nanoseconds.find(name);
        return found == nanoseconds.end() ? -1.0 : found->second;
    }

private:
    std::map<std::string, double> nanoseconds;
};

void Register(const Mode& mode)
{
    for (auto* command : {benchmark::RegisterBenchmark("BM_ExecuteCommand", BM_ExecuteCommand),
                          benchmark::RegisterBenchmark("BM_DriveExecute", BM_DriveExecute)}) {
        command->Unit(benchmark::kNanosecond)->MinTime(mode.minSeconds)->Repetitions(mode.repetitions);
        command->ReportAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark("BM_DownloadFirmware", BM_DownloadFirmware)
        ->Unit(benchmark::kSecond)
        ->UseManualTime()
        ->Iterations(mode.downloads);
    benchmark::RegisterBenchmark("BM_ScanDrives/16", BM_ScanDrives)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(mode.scans);
}

// Heap allocations on this thread during kCountedCommands commands and during one whole
// download (its block loop included), against an instant drive.
struct AllocationFigures {
    long commands = -1;
    long download = -1;
    uint32_t downloadCommands = 0;
};

AllocationFigures CountAllocations()
{
    AllocationFigures figures;
    sim::VirtualSystem system(sim::ClockMode::Virtual);
    bench::AddReadyDrives(system, 1, sim::DriveTiming::Instant());
    const std::unique_ptr<AtapiDevice> device = SelectedDevice(system);
    if (device == nullptr) return figures;
    {
        testsupport::ThreadAllocationCount count;
        for (int i = 0; i < kCountedCommands; ++i)
            device->ExecuteCommand(kTestUnitReady, platform::DataDirection::None, 0);
        figures.commands = count.Count();
    }
    const uint32_t before = system.drive(0).commandCount();
    bool programmed = false;
    {
        testsupport::ThreadAllocationCount count;
        programmed = device->DownloadFirmware(Image(), kImageSize, 0);
        figures.download = count.Count();
    }
    figures.downloadCommands = system.drive(0).commandCount() - before;
    if (!programmed || !bench::AllProgrammedGood(system)) figures.download = -1;
    return figures;
}

Mode ReadMode(int& argc, char** argv)
{
    Mode mode;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0) {
            mode = Mode{true, 10, 0.5, 3, 50};
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return mode;
}

void PrintFigure(const char* name, double value, const char* format = "%.3f")
{
    std::printf("%s: ", name);
    std::printf(format, value);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const Mode mode = ReadMode(argc, argv);
    benchmark::Initialize(&argc, argv);
    Register(mode);
    CollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double executeNs = reporter.Nanoseconds("BM_ExecuteCommand");
    const double directNs = reporter.Nanoseconds("BM_DriveExecute");
    const AllocationFigures allocations = CountAllocations();
    const bool allocationsCounted = allocations.commands >= 0 && allocations.download >= 0;
    const long allocationTotal = allocations.commands + allocations.download;
    const uint32_t countedCommands = kCountedCommands + allocations.downloadCommands;

    PrintFigure("execute_command_ns", executeNs, "%.1f");
    PrintFigure("drive_direct_ns", directNs, "%.1f");
    PrintFigure("command_overhead_ns", executeNs - directNs, "%.1f");
    if (allocationsCounted) {
        PrintFigure("allocations_in_10000_commands", allocations.commands, "%.0f");
        PrintFigure("allocations_in_download", allocations.download, "%.0f");
        PrintFigure("allocations_per_command", double(allocationTotal) / countedCommands, "%g");
    } else {
        std::printf("allocations_per_command: failed (the counted download did not program the drive)\n");
    }
    if (!downloadAccounting.failed && downloadAccounting.measuredSeconds > 0.0) {
        PrintFigure("download_modelled_s", downloadAccounting.modelledSeconds / mode.downloads);
        PrintFigure("download_measured_s", downloadAccounting.measuredSeconds / mode.downloads);
        PrintFigure("download_efficiency", downloadAccounting.modelledSeconds / downloadAccounting.measuredSeconds,
                    "%.4f");
    } else {
        std::printf("download_efficiency: failed\n");
    }
    if (!scanAccounting.failed && scanAccounting.measuredSeconds > 0.0) {
        PrintFigure("scan_modelled_ms", 1000.0 * scanAccounting.modelledSeconds / mode.scans);
        PrintFigure("scan_measured_ms", 1000.0 * scanAccounting.measuredSeconds / mode.scans);
        PrintFigure("scan_efficiency_16", scanAccounting.modelledSeconds / scanAccounting.measuredSeconds, "%.4f");
    } else {
        std::printf("scan_efficiency_16: failed\n");
    }
    return executeNs < 0.0 || directNs < 0.0 || !allocationsCounted || downloadAccounting.failed ||
           scanAccounting.failed;
}
