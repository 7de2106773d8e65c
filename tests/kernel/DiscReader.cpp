// disc-reader: what a virtual drive answers, in-process, when its disc is read: the capacity
// (READ CAPACITY) or one 2,048-byte sector (READ(10)). The kernel test rig compares it with
// what the guest reads of the same drive through its kernel.
//
//   disc-reader DRIVE capacity   prints "LAST-LBA BLOCK-LENGTH"
//   disc-reader DRIVE read LBA   writes the sector's bytes to standard output
//
// DRIVE is the drive's text form (e.g. rev=RN05,disc=1). Exit status 1 when the drive answers
// with sense data (printed on standard error), 2 on a usage error.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "scsi/Answers.h"
#include "scsi/CommandBlocks.h"
#include "scsi/Fields.h"
#include "scsi/Opcodes.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr uint32_t kSectorSize = 2048;

bool Ask(sim::VirtualDrive& drive, const uint8_t (&cdb)[platform::kCdbSize], uint8_t* data, uint32_t length)
{
    sim::CommandRequest request{};
    std::memcpy(request.cdb, cdb, sizeof cdb);
    request.direction = platform::DataDirection::In;
    request.data = data;
    request.length = length;
    const sim::CommandReply reply = drive.Execute(request);
    if (!reply.delivered || reply.hasSense) {
        std::fprintf(stderr, "disc-reader: opcode %02Xh: %s %X/%02X/%02X\n", cdb[0],
                     reply.delivered ? "sense" : "failed", reply.sense[2] & 0x0F, reply.sense[12], reply.sense[13]);
        return false;
    }
    return reply.transferred == length;
}

int PrintCapacity(sim::VirtualDrive& drive)
{
    uint8_t cdb[platform::kCdbSize] = {scsi::opcode::kReadCapacity10};
    uint8_t answer[scsi::capacity_data::kLength] = {};
    if (!Ask(drive, cdb, answer, sizeof answer)) return 1;
    std::printf("%u %u\n", scsi::Get(answer, scsi::capacity_data::kLastLba),
                scsi::Get(answer, scsi::capacity_data::kBlockLength));
    return 0;
}

int WriteSector(sim::VirtualDrive& drive, uint32_t lba)
{
    uint8_t cdb[platform::kCdbSize] = {scsi::opcode::kRead10};
    scsi::PutMasked(cdb, scsi::read10::kLba, lba);
    scsi::PutMasked(cdb, scsi::read10::kBlocks, 1);
    static uint8_t sector[kSectorSize];
    if (!Ask(drive, cdb, sector, sizeof sector)) return 1;
    return std::fwrite(sector, 1, sizeof sector, stdout) == sizeof sector ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view what = argc >= 3 ? argv[2] : "";
    if (!((argc == 3 && what == "capacity") || (argc == 4 && what == "read"))) {
        std::fputs("usage: disc-reader DRIVE capacity | disc-reader DRIVE read LBA\n", stderr);
        return 2;
    }
    sim::DriveSetup setup;
    std::string reason;
    if (!sim::ParseDriveSetup(argv[1], setup, reason)) {
        std::fprintf(stderr, "disc-reader: %s\n", reason.c_str());
        return 2;
    }
    sim::VirtualDrive drive(setup.drive);
    if (what == "capacity") return PrintCapacity(drive);
    char* end = nullptr;
    const unsigned long lba = std::strtoul(argv[3], &end, 10);
    if (*argv[3] == '\0' || *end != '\0' || lba > UINT32_MAX) {
        std::fputs("disc-reader: LBA must be a number\n", stderr);
        return 2;
    }
    return WriteSector(drive, static_cast<uint32_t>(lba));
}
