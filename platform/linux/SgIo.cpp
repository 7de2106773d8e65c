// SG_IO: the request header, the judgement of its result, the sense data, the address requests.

#include "platform/linux/SgIo.h"

#include "platform/linux/PermissionAdvice.h"
#include "scsi/CommandOutcome.h"
#include "scsi/Sense.h"

#include <fcntl.h>
#include <poll.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace platform::linux_sys {

namespace {

constexpr int kSgInterfaceId = 'S';

// Layout of the answer to SCSI_IOCTL_GET_IDLUN.
struct ScsiIdLun {
    uint32_t deviceId;
    uint32_t hostUniqueId;
};

bool IsKnownDirection(DataDirection direction)
{
    return direction == DataDirection::Out || direction == DataDirection::In || direction == DataDirection::None;
}

constexpr unsigned kGenericMajor = 21;  // SCSI_GENERIC_MAJOR

int64_t MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Waits until node has an answer to read; false when waitMs passed first.
bool WaitForAnswer(int node, uint32_t waitMs)
{
    const int64_t deadline = MonotonicMs() + waitMs;
    for (;;) {
        const int64_t left = deadline - MonotonicMs();
        if (left <= 0) return false;
        pollfd polled{node, POLLIN, 0};
        const int ready = poll(&polled, 1, static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// Puts a fresh descriptor of the same device (or of /dev/null) under node's number, so that the
// request left with the driver on the old one can never answer into this process.
void ReplaceNode(int node)
{
    char linkPath[64];
    char path[256];
    std::snprintf(linkPath, sizeof linkPath, "/proc/self/fd/%d", node);
    const ssize_t length = readlink(linkPath, path, sizeof path - 1);
    int fresh = -1;
    if (length > 0) {
        path[length] = '\0';
        fresh = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    if (fresh < 0) fresh = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fresh < 0) return;
    dup3(fresh, node, O_CLOEXEC);
    close(fresh);
}

}  // namespace

uint32_t KernelTimeoutMs(uint32_t programTimeoutMs)
{
    if (programTimeoutMs >= kMaxKernelTimeoutMs - kKernelTimeoutMarginMs) return kMaxKernelTimeoutMs;
    return programTimeoutMs + kKernelTimeoutMarginMs;
}

uint32_t AnswerWaitMs(uint32_t programTimeoutMs)
{
    const uint32_t kernelMs = KernelTimeoutMs(programTimeoutMs);
    if (kernelMs >= kMaxKernelTimeoutMs) return kMaxKernelTimeoutMs;
    return kernelMs + kAnswerWaitMarginMs;
}

bool BuildSgIoHeader(PassThroughRequest& request, sg_io_hdr& header)
{
    std::memset(&header, 0, sizeof header);
    header.interface_id = kSgInterfaceId;
    header.cmd_len = kCdbSize;
    header.cmdp = request.cdb;
    header.mx_sb_len = kSenseSize;
    header.sbp = request.sense;
    header.timeout = KernelTimeoutMs(request.timeoutMs);

    if (!IsKnownDirection(request.direction)) return false;
    if (request.direction == DataDirection::None || request.length == 0) {
        header.dxfer_direction = SG_DXFER_NONE;
        return true;
    }
    if (request.data == nullptr) return false;
    header.dxfer_direction = request.direction == DataDirection::Out ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
    header.dxferp = request.data;
    header.dxfer_len = request.length;
    return true;
}

bool TransportFailed(const sg_io_hdr& header)
{
    if (header.host_status != kHostOk) return true;
    const uint16_t driver = header.driver_status & kDriverByteMask;
    if (driver != kDriverOk && driver != kDriverSense) return true;
    return scsi::StatusRefusesCommand(header.status);
}

void NormaliseSense(uint8_t (&sense)[kSenseSize], uint32_t senseLength)
{
    scsi::RewriteSenseInFixedFormat(sense, kSenseSize, senseLength);
}

uint32_t BytesMoved(uint32_t length, int residual)
{
    if (residual <= 0) return length;
    if (static_cast<uint32_t>(residual) >= length) return 0;
    return length - static_cast<uint32_t>(residual);
}

bool ReadSgIoResult(const sg_io_hdr& header, PassThroughRequest& request)
{
    NormaliseSense(request.sense, header.sb_len_wr);
    if (TransportFailed(header)) {
        request.transferred = 0;
        return false;
    }
    request.transferred = BytesMoved(header.dxfer_len, header.resid);
    return true;
}

SgIoResult SendSgIo(int node, PassThroughRequest& request)
{
    if (IsGenericNode(node)) return SendQueued(node, request, AnswerWaitMs(request.timeoutMs));
    std::memset(request.sense, 0, sizeof request.sense);
    request.transferred = 0;
    sg_io_hdr header;
    if (!BuildSgIoHeader(request, header)) return SgIoResult::Failed;
    if (ioctl(node, SG_IO, &header) < 0) {
        const int error = errno;
        std::memset(request.sense, 0, sizeof request.sense);
        return IsPermissionError(error) ? SgIoResult::Denied : SgIoResult::Failed;
    }
    return ReadSgIoResult(header, request) ? SgIoResult::CarriedOut : SgIoResult::Failed;
}

bool IsGenericNode(int node)
{
    struct stat status;
    return node >= 0 && fstat(node, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) == kGenericMajor;
}

SgIoResult SendQueued(int node, PassThroughRequest& request, uint32_t waitMs)
{
    std::memset(request.sense, 0, sizeof request.sense);
    request.transferred = 0;
    sg_io_hdr header;
    if (!BuildSgIoHeader(request, header)) return SgIoResult::Failed;
    if (write(node, &header, sizeof header) != static_cast<ssize_t>(sizeof header)) {
        const int error = errno;
        return IsPermissionError(error) ? SgIoResult::Denied : SgIoResult::Failed;
    }
    if (!WaitForAnswer(node, waitMs)) {
        ReplaceNode(node);
        std::memset(request.sense, 0, sizeof request.sense);
        return SgIoResult::Failed;
    }
    if (read(node, &header, sizeof header) != static_cast<ssize_t>(sizeof header)) {
        std::memset(request.sense, 0, sizeof request.sense);
        return SgIoResult::Failed;
    }
    return ReadSgIoResult(header, request) ? SgIoResult::CarriedOut : SgIoResult::Failed;
}

bool DecodeIdLun(uint32_t deviceId, int busNumber, ScsiAddress& address)
{
    if (busNumber < 0 || busNumber > INT16_MAX) return false;
    address.host = static_cast<int16_t>(busNumber);
    address.target = static_cast<int16_t>(deviceId & 0xFF);
    address.lun = static_cast<int16_t>((deviceId >> 8) & 0xFF);
    address.path = static_cast<int16_t>((deviceId >> 16) & 0xFF);
    return true;
}

bool ReadIoctlAddress(int node, ScsiAddress& address)
{
    ScsiIdLun idLun{};
    int busNumber = -1;
    if (ioctl(node, SCSI_IOCTL_GET_IDLUN, &idLun) < 0 || ioctl(node, SCSI_IOCTL_GET_BUS_NUMBER, &busNumber) < 0)
        return false;
    return DecodeIdLun(idLun.deviceId, busNumber, address);
}

}  // namespace platform::linux_sys
