#include "platform/scsi_os.h"

namespace tarvik {

ScsiOs& DefaultScsiOs();  // scsi_os_host.cpp / scsi_os_win32.cpp

namespace {
ScsiOs* g_os = nullptr;
}

ScsiOs& ScsiSys() { return g_os ? *g_os : DefaultScsiOs(); }

void SetScsiOs(ScsiOs* os) { g_os = os; }

}  // namespace tarvik
