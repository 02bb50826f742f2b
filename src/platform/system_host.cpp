#include "platform/system.h"

namespace tarvik {

// On Linux the core runs against simulated drives only; the machine itself
// answers like a Windows system with nothing attached.
System& DefaultSystem() {
    static System nothing;
    return nothing;
}

}  // namespace tarvik
