#include "platform/scsi_os.h"

namespace tarvik {

// Linux has no SPTI device, ASPI manager or Windows 9x registry: the base
// class's answers are this build's truth.
ScsiOs& DefaultScsiOs() {
    static ScsiOs os;
    return os;
}

}  // namespace tarvik
