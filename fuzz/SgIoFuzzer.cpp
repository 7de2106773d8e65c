// The reading of an SG_IO result: the header fields the kernel fills in (host, driver and SCSI
// status, sense length written, residual) and the sense bytes the drive wrote, turned into the
// seam's result. No request reaches the kernel. Input: a header record (kHeaderRecordSize
// bytes, see ReadHeader) followed by up to kSenseSize sense bytes.
//
// The result must say the command was carried out exactly when the transport did not fail;
// the bytes moved stay within the length asked for; the sense comes back in fixed format with
// key, ASC and ASCQ where the drive put them, whatever format it used.

#include <algorithm>
#include <cstring>

#include "fuzz/Check.h"
#include "platform/linux/SgIo.h"

namespace {

using platform::kSenseSize;
using namespace platform::linux_sys;

constexpr std::size_t kHeaderRecordSize = 20;
constexpr uint32_t kFixedSenseSize = 18;

uint32_t BigEndian32(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

// host_status 2, driver_status 2, status 1, sb_len_wr 1, resid 4, dxfer_len 4, timeout 4,
// direction 1, one byte spare.
sg_io_hdr ReadHeader(const uint8_t* record, platform::PassThroughRequest& request)
{
    sg_io_hdr header{};
    header.host_status = static_cast<unsigned short>((record[0] << 8) | record[1]);
    header.driver_status = static_cast<unsigned short>((record[2] << 8) | record[3]);
    header.status = record[4];
    header.sb_len_wr = record[5];
    header.resid = static_cast<int>(BigEndian32(record + 6));
    header.dxfer_len = BigEndian32(record + 10);
    request.timeoutMs = BigEndian32(record + 14);
    request.direction = static_cast<platform::DataDirection>(record[18] % 4);
    return header;
}

bool IsDescriptorFormat(uint8_t responseCode) { return (responseCode & 0x7F) == 0x72 || (responseCode & 0x7F) == 0x73; }

void CheckSense(const uint8_t (&written)[kSenseSize], uint32_t senseLength, const uint8_t (&sense)[kSenseSize])
{
    const uint32_t count = std::min<uint32_t>(senseLength, kSenseSize);
    if (count == 0 || !IsDescriptorFormat(written[0])) {
        // Kept as written, and nothing past what was written.
        FUZZ_CHECK(std::memcmp(written, sense, count) == 0);
        for (uint32_t i = count; i < kSenseSize; ++i) FUZZ_CHECK(sense[i] == 0);
        return;
    }
    // Rewritten in fixed format (18 bytes): 70h current or 71h deferred, key, ASC and ASCQ
    // carried over.
    for (uint32_t i = kFixedSenseSize; i < kSenseSize; ++i) FUZZ_CHECK(sense[i] == 0);
    FUZZ_CHECK((sense[0] & 0x7F) == ((written[0] & 0x7F) == 0x73 ? 0x71 : 0x70));
    FUZZ_CHECK(sense[2] == (count > 1 ? (written[1] & 0x0F) : 0));
    FUZZ_CHECK(sense[12] == (count > 2 ? written[2] : 0));
    FUZZ_CHECK(sense[13] == (count > 3 ? written[3] : 0));
}

void CheckBuild(platform::PassThroughRequest& request, uint8_t* data)
{
    request.data = data;
    sg_io_hdr header;
    const bool built = BuildSgIoHeader(request, header);
    FUZZ_CHECK(header.interface_id == 'S' && header.cmdp == request.cdb && header.sbp == request.sense);
    FUZZ_CHECK(header.mx_sb_len == kSenseSize && header.cmd_len == platform::kCdbSize);
    FUZZ_CHECK(header.timeout >= std::min(request.timeoutMs, kMaxKernelTimeoutMs));
    FUZZ_CHECK(AnswerWaitMs(request.timeoutMs) >= header.timeout);
    if (!built) return;
    if (header.dxfer_direction == SG_DXFER_NONE) {
        FUZZ_CHECK(header.dxfer_len == 0 && header.dxferp == nullptr);
    } else {
        FUZZ_CHECK(header.dxferp == data && data != nullptr && header.dxfer_len == request.length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < kHeaderRecordSize) return -1;  // not kept in the corpus
    platform::PassThroughRequest request{};
    const sg_io_hdr header = ReadHeader(input, request);
    const std::size_t senseBytes = std::min<std::size_t>(size - kHeaderRecordSize, kSenseSize);
    uint8_t written[kSenseSize] = {};
    std::memcpy(written, input + kHeaderRecordSize, senseBytes);
    std::memcpy(request.sense, written, sizeof written);
    request.transferred = 0xDEADBEEF;

    const bool carriedOut = ReadSgIoResult(header, request);
    FUZZ_CHECK(carriedOut == !TransportFailed(header));
    FUZZ_CHECK(carriedOut ? request.transferred <= header.dxfer_len : request.transferred == 0);
    FUZZ_CHECK(request.transferred == (carriedOut ? BytesMoved(header.dxfer_len, header.resid) : 0));
    CheckSense(written, header.sb_len_wr, request.sense);

    // A second reading of sense already normalised leaves it as it is.
    uint8_t again[kSenseSize];
    std::memcpy(again, request.sense, sizeof again);
    NormaliseSense(again, kSenseSize);
    FUZZ_CHECK(std::memcmp(again, request.sense, sizeof again) == 0);

    // The header for the same request, with and without a data buffer.
    static uint8_t data[16];
    request.length = header.dxfer_len;
    CheckBuild(request, data);
    CheckBuild(request, nullptr);

    platform::ScsiAddress address{};
    if (DecodeIdLun(BigEndian32(input + 6), static_cast<int>(BigEndian32(input + 14)), address)) {
        FUZZ_CHECK(address.host >= 0 && address.target >= 0 && address.lun >= 0 && address.path >= 0);
    }
    return 0;
}
