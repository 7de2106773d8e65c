// desktop-poller: what a desktop's media poller of the udisks kind does to an optical drive, for
// the kernel test rig. Every INTERVAL milliseconds it opens the drive's block node read-only,
// without waiting for a medium and exclusively (so that it leaves alone a drive that a mount or
// a burning program holds), and closes it again: the open makes the kernel ask the drive GET
// EVENT STATUS NOTIFICATION and TEST UNIT READY. Each poll is one line on standard output,
// "poll <seconds since start> opened|busy|failed", and SIGTERM ends it.

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

volatile sig_atomic_t stopRequested = 0;

void StopOnSignal(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: desktop-poller DEVICE INTERVAL-MS\n", stderr);
        return 2;
    }
    const long interval = std::strtol(argv[2], nullptr, 10);
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    sigaction(SIGTERM, &action, nullptr);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (stopRequested == 0) {
        const int node = open(argv[1], O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        const char* outcome = node >= 0 ? "opened" : errno == EBUSY ? "busy" : "failed";
        if (node >= 0) close(node);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("poll %.2f %s\n",
                    static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9, outcome);
        std::fflush(stdout);
        timespec wait{interval / 1000, (interval % 1000) * 1000000L};
        nanosleep(&wait, nullptr);
    }
    return 0;
}
