#include "tools/cli/SignalGuard.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace cli {

namespace {

constexpr int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr char kHeldOff[] =
    "\nnorvik-cli: the firmware is being written; the signal is held off until the update is over\n";

std::atomic<bool> holding{false};
std::atomic<int> heldCount{0};

sigset_t GuardedSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kGuardedSignals) sigaddset(&set, signal);
    return set;
}

// The signal's usual effect, from this thread: unblocked here, with its default action.
void ActAsUsual(int signal)
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
}

void* TakeSignals(void*)
{
    const sigset_t set = GuardedSet();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        if (!holding.load()) {
            ActAsUsual(signal);
            continue;
        }
        heldCount.fetch_add(1);
        const ssize_t written = write(STDERR_FILENO, kHeldOff, sizeof kHeldOff - 1);
        (void)written;
    }
    return nullptr;
}

}  // namespace

void StartSignalGuard()
{
    signal(SIGPIPE, SIG_IGN);
    const sigset_t set = GuardedSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    pthread_t taker;
    if (pthread_create(&taker, nullptr, TakeSignals, nullptr) == 0) {
        pthread_detach(taker);
        return;
    }
    // Without the taking thread the signals would be lost: they act as usual, unguarded.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void HoldOffSignals(bool hold) { holding.store(hold); }

int HeldOffSignalCount() { return heldCount.load(); }

}  // namespace cli
