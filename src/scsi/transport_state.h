#pragma once
// The transport's process-wide state, shared by transport.cpp, spti.cpp and
// aspi.cpp only.
#include <cstdint>
#include <vector>

#include "platform/scsi_os.h"
#include "scsi/aspi_defs.h"
#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik::detail {

struct AspiEntryPoints {
    aspi::GetASPI32SupportInfoFn getSupportInfo = nullptr;
    aspi::SendASPI32CommandFn sendCommand = nullptr;
    aspi::TranslateASPI32AddressFn translateAddress = nullptr;
};

struct BrokenDrive {
    DriveAddress address;
    DriveFault fault = DriveFault::None;
    ScsiLastError status;  // what the failure that marked it reported
};

struct TransportState {
    uint32_t mode = kTransportAspi;
    uint32_t aspiStatus = 0;
    uint32_t sptiStatus = 0;
    uint32_t accessMask = kGenericRead | kGenericWrite;
    bool aspiLoaded = false;
    AspiEntryPoints aspi;
    uint32_t adapterCount = 0;
    std::string aspiPath;
    ScsiLastError lastError;
    const ScsiTransport* active = nullptr;
    std::vector<BrokenDrive> broken;
};

TransportState& State();
void ResetAspiState();

}  // namespace tarvik::detail
