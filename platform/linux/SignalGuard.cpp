#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/ProcessSignals.h"
#include "platform/linux/MediaPolling.h"

namespace platform {

namespace {

// Every signal whose default action ends the process and that can be blocked. Not held, as
// they are synchronous faults or the end of a broken program, not a request to stop: ILL, TRAP,
// ABRT, BUS, FPE, SEGV and SYS. A blocked fault still ends the process (the kernel forces it),
// and a thread that hit one cannot go on; abort() unblocks ABRT itself. PIPE stays ignored:
// a write to a closed output fails with EPIPE instead. The real-time signals from SIGRTMIN on
// are free for programs: glibc keeps its own below SIGRTMIN, and Qt uses none.
constexpr int kStopSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT,   SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
    SIGXCPU,   SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,
#ifdef SIGPWR
    SIGPWR,
#endif
};

std::atomic<bool> holding{false};
std::atomic<int> held{0};
// Whether the program's ending is decided; the taking thread decides each signal under the lock,
// so that none acts or is held once the ending is settled.
std::mutex decision;
bool settled = false;
char heldOffLine[160] = {};
std::size_t heldOffLength = 0;
sigset_t guarded;

bool IgnoredAtStart(int signal)
{
    struct sigaction current;
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// A signal that the program was started with ignored (nohup, trap '' TERM) is left out: it stays
// ignored, as the caller asked, and never ends the program.
sigset_t StopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals)
        if (!IgnoredAtStart(signal)) sigaddset(&set, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        if (!IgnoredAtStart(signal)) sigaddset(&set, signal);
    return set;
}

void* TakeSignals(void*)
{
    for (;;) {
        int signal = 0;
        if (sigwait(&guarded, &signal) != 0) continue;
        const std::lock_guard<std::mutex> lock(decision);
        if (settled) continue;
        if (!holding.load()) {
            ActOnSignal(signal);
            continue;
        }
        int none = 0;
        held.compare_exchange_strong(none, signal);
        const ssize_t written = write(STDERR_FILENO, heldOffLine, heldOffLength);
        (void)written;
    }
    return nullptr;
}

}  // namespace

void StartSignalGuard(const char* programName)
{
    signal(SIGPIPE, SIG_IGN);
    const int length = std::snprintf(heldOffLine, sizeof heldOffLine,
                                     "\n%s: the firmware is being written; the signal is held off until the update is "
                                     "over\n",
                                     programName);
    heldOffLength = length > 0 ? std::min(static_cast<std::size_t>(length), sizeof heldOffLine - 1) : 0;
    guarded = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &guarded, nullptr);
    pthread_t taker;
    if (pthread_create(&taker, nullptr, TakeSignals, nullptr) == 0) {
        pthread_detach(taker);
        return;
    }
    // Without the taking thread the signals would be lost: they act as usual, unguarded.
    pthread_sigmask(SIG_UNBLOCK, &guarded, nullptr);
}

void HoldSignals(bool hold) { holding.store(hold); }

int HeldSignal() { return held.load(); }

int SettleEndingSignal()
{
    const std::lock_guard<std::mutex> lock(decision);
    settled = true;
    return held.load();
}

int ExitStatusAfter(int signal, int status) { return signal != 0 ? 128 + signal : status; }

// From the calling thread: the kernel's media polling of the drives being written given back,
// the default action restored, the signal unblocked here and raised to this thread, so that it
// acts at once.
void ActOnSignal(int signal)
{
    if (signal == 0) return;
    linux_sys::ResumeAllMediaPolling();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);  // not reached: every signal taken here ends the process
}

}  // namespace platform
