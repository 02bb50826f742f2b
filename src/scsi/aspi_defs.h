#pragma once
// The ASPI for Win32 request blocks and entry points, as the ASPI manager
// ("wnaspi32.dll") lays them out. Portable on purpose: the program's ASPI
// transport fills them and the simulator's test wnaspi32.dll answers them, so
// both must agree byte for byte. Pointer fields are real pointers: 4 bytes in a
// 32-bit build (the classic layout, ExecSCSICmd 80 bytes) and 8 bytes in a
// 64-bit build (the same fields in the same order, packed, 88 bytes).
#include <cstddef>
#include <cstdint>

namespace tarvik::aspi {

// SRB_Cmd
constexpr uint8_t SC_HA_INQUIRY = 0x00;
constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
constexpr uint8_t SC_ABORT_SRB = 0x03;
constexpr uint8_t SC_RESET_DEV = 0x04;

// SRB_Status and the status byte of GetASPI32SupportInfo
constexpr uint8_t SS_PENDING = 0x00;
constexpr uint8_t SS_COMP = 0x01;
constexpr uint8_t SS_ABORTED = 0x02;
constexpr uint8_t SS_ABORT_FAIL = 0x03;
constexpr uint8_t SS_ERR = 0x04;
constexpr uint8_t SS_INVALID_CMD = 0x80;
constexpr uint8_t SS_INVALID_HA = 0x81;
constexpr uint8_t SS_NO_DEVICE = 0x82;
constexpr uint8_t SS_INVALID_SRB = 0xE0;
constexpr uint8_t SS_BUFFER_ALIGN = 0xE1;
constexpr uint8_t SS_ILLEGAL_MODE = 0xE2;
constexpr uint8_t SS_NO_ASPI = 0xE3;
constexpr uint8_t SS_FAILED_INIT = 0xE4;
constexpr uint8_t SS_ASPI_IS_BUSY = 0xE5;
constexpr uint8_t SS_BUFFER_TO_BIG = 0xE6;
constexpr uint8_t SS_MISMATCHED_COMPONENTS = 0xE7;
constexpr uint8_t SS_NO_ADAPTERS = 0xE8;
constexpr uint8_t SS_INSUFFICIENT_RESOURCES = 0xE9;

// SRB_Flags
constexpr uint8_t SRB_POSTING = 0x01;
constexpr uint8_t SRB_ENABLE_RESIDUAL_COUNT = 0x04;
constexpr uint8_t SRB_DIR_IN = 0x08;
constexpr uint8_t SRB_DIR_OUT = 0x10;
constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// SRB_HaStat
constexpr uint8_t HASTAT_OK = 0x00;
constexpr uint8_t HASTAT_SEL_TO = 0x11;
constexpr uint8_t HASTAT_DO_DU = 0x12;

// SRB_TargStat (the SCSI status byte)
constexpr uint8_t STATUS_GOOD = 0x00;
constexpr uint8_t STATUS_CHKCOND = 0x02;
constexpr uint8_t STATUS_BUSY = 0x08;

constexpr uint8_t DTYPE_CDROM = 0x05;

// Sense bytes asked for; the area itself holds two more.
constexpr uint8_t SENSE_LEN = 14;

#pragma pack(push, 1)

struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    uint8_t SRB_Cmd;  // SC_HA_INQUIRY
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];  // [3]: maximum target count (0 means 8)
    uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;  // SC_GET_DEV_TYPE
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;  // SC_EXEC_SCSI_CMD
    uint8_t SRB_Status;
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
    void* SRB_PostProc;  // the event handle with SRB_EVENT_NOTIFY
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[SENSE_LEN + 2];
};

struct SRB_Abort {
    uint8_t SRB_Cmd;  // SC_ABORT_SRB
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

#pragma pack(pop)

static_assert(sizeof(SRB_Header) == 8);
static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(sizeof(SRB_GDEVBlock) == 12);
static_assert(offsetof(SRB_GDEVBlock, SRB_Target) == 8);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10);

constexpr size_t kPtr = sizeof(void*);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 16 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 18 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 19 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 20 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 20 + 2 * kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 40 + 2 * kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 56 + 2 * kPtr);
static_assert(sizeof(SRB_ExecSCSICmd) == 72 + 2 * kPtr);  // 80 on 32-bit, 88 on 64-bit
static_assert(sizeof(SRB_Abort) == 8 + kPtr);

// Entry points of the manager. The ASPI convention is cdecl, which is the
// default for plain function pointers on both targets.
using GetASPI32SupportInfoFn = uint32_t (*)();
using SendASPI32CommandFn = uint32_t (*)(void* srb);
// path: (adapter << 16) | (target << 8) | lun; writes the configuration-manager
// device node. Non-zero on success.
using TranslateASPI32AddressFn = int32_t (*)(uint32_t* path, uint32_t* devNode);

}  // namespace tarvik::aspi
