// Filling the pass-through request block and reading the driver's answer back.

#include "platform/win32/PassThroughDirect.h"

#include <algorithm>
#include <cstring>

#include "scsi/CommandOutcome.h"
#include "scsi/Sense.h"

namespace platform::win32 {

namespace {

bool DriverDirection(DataDirection direction, UCHAR& dataIn)
{
    switch (direction) {
    case DataDirection::Out: dataIn = SCSI_IOCTL_DATA_OUT; return true;
    case DataDirection::In: dataIn = SCSI_IOCTL_DATA_IN; return true;
    case DataDirection::None: dataIn = SCSI_IOCTL_DATA_UNSPECIFIED; return true;
    }
    return false;
}

}  // namespace

uint32_t DriverTimeoutSeconds(uint32_t timeoutMs)
{
    const uint64_t limitMs = uint64_t{timeoutMs} + kDriverTimeoutMarginMs;
    return static_cast<uint32_t>(std::min<uint64_t>((limitMs + 999) / 1000, kMaxDriverTimeoutSeconds));
}

bool FillPassThroughBlock(const PassThroughRequest& request, PassThroughBlock& block)
{
    std::memset(&block, 0, sizeof block);
    SCSI_PASS_THROUGH_DIRECT& direct = block.request;
    if (!DriverDirection(request.direction, direct.DataIn)) return false;
    const bool dataPhase = request.direction != DataDirection::None && request.length != 0;
    if (dataPhase && request.data == nullptr) return false;

    direct.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    direct.CdbLength = kCdbSize;
    direct.SenseInfoLength = kSenseSize;
    direct.DataTransferLength = dataPhase ? request.length : 0;
    direct.TimeOutValue = DriverTimeoutSeconds(request.timeoutMs);
    direct.DataBuffer = dataPhase ? request.data : nullptr;
    direct.SenseInfoOffset = offsetof(PassThroughBlock, sense);
    std::memcpy(direct.Cdb, request.cdb, kCdbSize);
    return true;
}

bool ReadPassThroughBlock(const PassThroughBlock& block, PassThroughRequest& request)
{
    const SCSI_PASS_THROUGH_DIRECT& direct = block.request;
    // The driver leaves in SenseInfoLength how many sense bytes it wrote.
    const uint32_t written = std::min<uint32_t>(direct.SenseInfoLength, kSenseSize);
    std::memcpy(request.sense, block.sense, written);
    scsi::RewriteSenseInFixedFormat(request.sense, kSenseSize, written);

    if (scsi::StatusRefusesCommand(direct.ScsiStatus)) {
        request.transferred = 0;
        return false;
    }
    // The driver leaves the bytes moved in DataTransferLength; never more than were asked for.
    const bool dataPhase = request.direction != DataDirection::None && request.length != 0;
    request.transferred = dataPhase ? std::min<uint32_t>(direct.DataTransferLength, request.length) : 0;
    return true;
}

}  // namespace platform::win32
