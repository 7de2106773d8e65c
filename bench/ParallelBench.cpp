// Sixteen drives updated one after another (the automatic update sequence run sixteen times,
// one drive each, as a tool that updates one device at a time works) against the same sixteen
// updated at once by one run of the sequence, on the real clock with the realistic model.
// Prints one "name: value" line per figure.
//
// Usage: norvik_bench_parallel [--scale S] [--drives N]
//   --scale S   every modelled duration times S (the transfer rate divided by S); default 0.05.
//               The download's own one-second pause is the program's and is not scaled.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BenchDrives.h"
#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "update/QueuedWorkerThreads.h"
#include "update/UpdateSequence.h"
#include "update/UpdateView.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kImageSize = 1048576;

// Answers every question Yes and every message OK, shows nothing.
class QuietView : public UpdateView {
public:
    MessageAnswer ShowMessage(MessageKind, std::string_view, std::string_view, MessageButtons buttons) override
    {
        ++messages;
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
    }
    void SetCaption(std::string_view) override {}
    void SetStatus(std::string_view) override {}
    void SetStatusColour(TextColour) override {}
    void SetPercent(std::string_view) override {}
    void SetProgress(int, int) override {}
    void ClearDriveList() override { selected = -1; }
    void AddDriveEntry(std::string_view) override {}
    void SelectDriveEntry(int index) override { selected = index; }
    int SelectedDriveEntry() const override { return selected; }
    void ShowUpdateSentence(std::string_view, TextColour) override {}
    void ShowRevisions(std::string_view, std::string_view) override {}
    void HideRevisions() override {}
    void SetUpdateEnabled(bool) override {}
    void SetCloseEnabled(bool) override {}
    void SetProgressTimer(bool) override {}
    void ProcessPendingMessages() override
    {
        if (threads != nullptr) threads->DispatchEnds();
    }
    void Terminate() override {}

    int messages = 0;
    QueuedWorkerThreads* threads = nullptr;

private:
    int selected = -1;
};

// The program's own package with a synthetic firmware in bank 1, in automatic mode, ending
// silently after success: no notice, no restart.
std::unique_ptr<payload::PackageBlock> MakePackage()
{
    auto block = std::make_unique<payload::PackageBlock>();
    std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
    std::vector<uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    PackageEditor editor(
        std::span<uint8_t, payload::kPackageSize>(reinterpret_cast<uint8_t*>(block.get()), payload::kPackageSize));
    editor.PutImage(0, image, 0);
    editor.SetSetting("AUTOMODE", "1");
    editor.SetSetting("WARNING", "0");
    editor.SetSetting("REBOOT", "0");
    editor.SetSetting("CLOSEAP", "1");
    editor.CheckPackage();
    return block;
}

bool UpdateUnderway(const UpdateSequence& sequence)
{
    const UpdateSequence::Phase phase = sequence.CurrentPhase();
    return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
           phase == UpdateSequence::Phase::Finishing;
}

// One run of the automatic update sequence over `drives` fresh drives: seconds from start-up to
// its end, or a negative value when not every drive was programmed.
double TimedRun(const uint8_t* package, int drives, const sim::DriveTiming& timing)
{
    sim::VirtualSystem system(sim::ClockMode::Real);
    if (!bench::AddReadyDrives(system, drives, timing)) return -1.0;
    QuietView view;
    double seconds = 0.0;
    {
        QueuedWorkerThreads threads;
        view.threads = &threads;
        UpdateSequence sequence(system, package, view, threads, MadeUpProfiles::Allowed);
        const Clock::time_point start = Clock::now();
        sequence.StartUp();
        // The workers' ends are handled on this thread, as a console loop does.
        while (UpdateUnderway(sequence)) threads.WaitForEnds(Clock::now() + std::chrono::seconds(1));
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (sequence.Outcome() != SequenceOutcome::ClosedAfterSuccess || sequence.UpdateCount() != drives) return -1.0;
    }
    return bench::AllProgrammedGood(system) && view.messages == 0 ? seconds : -1.0;
}

struct Options {
    double scale = 0.05;
    int drives = 16;
};

bool ReadOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--scale") == 0 && hasValue) {
            options.scale = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--drives") == 0 && hasValue) {
            options.drives = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.scale > 0.0 && options.drives >= 1 && options.drives <= kMaxDrives;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: norvik_bench_parallel [--scale S] [--drives 1..16]\n");
        return 2;
    }
    std::unique_ptr<payload::PackageBlock> block;
    try {
        block = MakePackage();
    } catch (const PackError& error) {
        std::fprintf(stderr, "norvik_bench_parallel: package refused: %s\n", error.what());
        return 1;
    }
    const uint8_t* package = reinterpret_cast<const uint8_t*>(block.get());
    const sim::DriveTiming timing = bench::ScaledRealistic(options.scale);

    double oneAfterAnother = 0.0;
    for (int drive = 0; drive < options.drives && oneAfterAnother >= 0.0; ++drive) {
        const double seconds = TimedRun(package, 1, timing);
        oneAfterAnother = seconds < 0.0 ? -1.0 : oneAfterAnother + seconds;
    }
    const double atOnce = TimedRun(package, options.drives, timing);
    if (oneAfterAnother < 0.0 || atOnce < 0.0) {
        std::printf("parallel_speedup_%d: failed (not every drive was programmed)\n", options.drives);
        return 1;
    }
    std::printf("parallel_model_scale: %g\n", options.scale);
    std::printf("parallel_one_after_another_s: %.3f\n", oneAfterAnother);
    std::printf("parallel_at_once_s: %.3f\n", atOnce);
    std::printf("parallel_speedup_%d: %.2f\n", options.drives, oneAfterAnother / atOnce);
    return 0;
}
