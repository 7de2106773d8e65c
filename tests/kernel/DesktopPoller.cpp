// desktop-poller: what a desktop's media poller of the udisks kind does to an optical drive, for
// the kernel test rig. Every INTERVAL milliseconds it opens the drive's block node read-only,
// without waiting for a medium and exclusively (so that it leaves alone a drive that a burning
// program or a mount holds), asks the drive TEST UNIT READY and GET EVENT STATUS NOTIFICATION
// (media class) through SG_IO, and closes it. Each poll is one line on standard output:
//   poll <seconds since start> sent|busy|failed
// and on SIGTERM it ends with "polls N sent N busy N failed N".

#include <fcntl.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile sig_atomic_t stopRequested = 0;

void StopOnSignal(int) { stopRequested = 1; }

double SecondsSince(const timespec& start)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

bool Send(int node, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data, uint32_t length)
{
    uint8_t sense[32] = {};
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmdp = const_cast<uint8_t*>(cdb);
    request.cmd_len = cdbLength;
    request.dxfer_direction = length != 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    request.dxferp = data;
    request.dxfer_len = length;
    request.sbp = sense;
    request.mx_sb_len = sizeof sense;
    request.timeout = 10000;
    return ioctl(node, SG_IO, &request) == 0;
}

// One poll as a desktop's poller makes it: the drive left alone when someone holds it.
const char* Poll(const char* device)
{
    const int node = open(device, O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    if (node < 0) return errno == EBUSY ? "busy" : "failed";
    const uint8_t testUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
    const uint8_t eventStatus[10] = {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 0x08, 0};
    uint8_t events[8] = {};
    const bool sent = Send(node, testUnitReady, sizeof testUnitReady, nullptr, 0) &&
                      Send(node, eventStatus, sizeof eventStatus, events, sizeof events);
    close(node);
    return sent ? "sent" : "failed";
}

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
    int counts[3] = {};
    while (stopRequested == 0) {
        const char* outcome = Poll(argv[1]);
        ++counts[outcome[0] == 's' ? 0 : outcome[0] == 'b' ? 1 : 2];
        std::printf("poll %.2f %s\n", SecondsSince(start), outcome);
        std::fflush(stdout);
        timespec wait{interval / 1000, (interval % 1000) * 1000000L};
        nanosleep(&wait, nullptr);
    }
    std::printf("polls %d sent %d busy %d failed %d\n", counts[0] + counts[1] + counts[2], counts[0], counts[1],
                counts[2]);
    return 0;
}
