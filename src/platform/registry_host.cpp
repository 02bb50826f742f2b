#include "platform/registry_memory.h"

namespace tarvik {

// Linux has no system registry: the program's settings live in memory (and in
// a .reg file when tarvikctl loads one).
Registry& DefaultRegistry() {
    static MemoryRegistry registry;
    return registry;
}

}  // namespace tarvik
