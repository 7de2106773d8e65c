#pragma once
// The ASPI interface: request blocks, command codes, flags and status values, and the two
// entry points of an ASPI manager. The layouts are those of the interface (byte-packed); with
// 32-bit pointers the execute request is 80 bytes.

#include <cstdint>

namespace platform {

using AspiLibrary = void*;

// Entry points of a loaded manager. Each takes the library handle it was found in.
using GetAspiSupportInfoEntry = uint32_t (*)(AspiLibrary library);
using SendAspiCommandEntry = uint32_t (*)(AspiLibrary library, void* request);

constexpr const char* kAspiLibraryName = "WNASPI32";
constexpr const char* kGetSupportInfoName = "GetASPI32SupportInfo";
constexpr const char* kSendCommandName = "SendASPI32Command";

// Command codes (SRB_Cmd).
constexpr uint8_t SC_HA_INQUIRY = 0x00;
constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
constexpr uint8_t SC_ABORT_SRB = 0x03;
constexpr uint8_t SC_RESCAN_SCSI_BUS = 0x07;

// Request flags (SRB_Flags).
// Asks an adapter that counts the residual to leave in SRB_BufLen the bytes that did not move.
constexpr uint8_t SRB_ENABLE_RESIDUAL_COUNT = 0x04;
constexpr uint8_t SRB_DIR_IN = 0x08;
constexpr uint8_t SRB_DIR_OUT = 0x10;
constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// Status values (SRB_Status, and bits 8..15 of GetASPI32SupportInfo).
constexpr uint8_t SS_PENDING = 0x00;
constexpr uint8_t SS_COMP = 0x01;
constexpr uint8_t SS_ABORTED = 0x02;
constexpr uint8_t SS_ERR = 0x04;
constexpr uint8_t SS_OLD_MANAGER = 0xE1;
constexpr uint8_t SS_ILLEGAL_MODE = 0xE2;
constexpr uint8_t SS_NO_ASPI = 0xE3;

constexpr uint8_t DTYPE_CDROM = 0x05;
constexpr int kAspiSenseLength = 14;

// The host adapter inquiry's HA_Unique byte that tells whether the adapter counts the residual
// of a request, and the bit that says it does.
constexpr int kHaUniqueFlagsByte = 2;
constexpr uint8_t RESIDUAL_COUNT_SUPPORTED = 0x02;

#pragma pack(push, 1)

struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];
    uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};

struct SRB_RescanPort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
};

// Asks the manager to give up an execute request that is still pending. The aborted request
// ends with its own status (SS_ABORTED, or any other if it finished first).
struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    volatile uint8_t SRB_Status;  // written by the manager, possibly after SendASPI32Command returned
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc;  // the completion event when SRB_EVENT_NOTIFY is set
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[kAspiSenseLength + 2];
};

#pragma pack(pop)

static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(sizeof(SRB_GDEVBlock) == 12);
static_assert(sizeof(SRB_RescanPort) == 8);
static_assert(sizeof(SRB_Abort) == 8 + sizeof(void*));
static_assert(sizeof(SRB_ExecSCSICmd) == 72 + 2 * sizeof(void*));

}  // namespace platform
