// Runs a program and reports the peak resident set size it reached (the kernel's ru_maxrss of
// the child), and on request its processor time over the wall time of its run (user and system
// time from the same rusage; sleeping takes none), so that the figures need no tool beyond the
// benchmarks themselves. The child's standard output and error go to /dev/null.
//
// Usage: norvik_peak_rss [--cpu-share SHARE_NAME] NAME PROGRAM [ARGUMENT...]
// Prints "NAME: <MiB>" (and "SHARE_NAME: <fraction>") and exits with 0 when the program exited
// with 0, else 1.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double Seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

double Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* shareName = nullptr;
    if (argc >= 3 && std::strcmp(argv[1], "--cpu-share") == 0) {
        shareName = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: norvik_peak_rss [--cpu-share SHARE_NAME] NAME PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const double started = Now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("norvik_peak_rss: fork");
        return 1;
    }
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("norvik_peak_rss: wait4");
        return 1;
    }
    const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!succeeded) {
        std::printf("%s: failed (%s exited with status %d)\n", argv[1], argv[2],
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return 1;
    }
    const double wall = Now() - started;
    // ru_maxrss is in KiB on Linux.
    std::printf("%s: %.1f\n", argv[1], usage.ru_maxrss / 1024.0);
    if (shareName != nullptr)
        std::printf("%s: %.4f\n", shareName, (Seconds(usage.ru_utime) + Seconds(usage.ru_stime)) / wall);
    return 0;
}
