// Imports arbitrary .reg text. Whatever was imported must export and import
// again into the same tree, and no key may stay open.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry_memory.h"
#include "settings/reg_file.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryRegistry first;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)ImportRegText(first, bytes, nullptr);
    if (first.OpenHandles() != 0) std::abort();
    for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyClassesRoot, kHkeyDynData}) {
        std::string text;
        if (!ExportRegText(first, root, "", &text)) std::abort();
        MemoryRegistry second;
        std::string error;
        if (!ImportRegText(second, EncodeRegFile(text), &error)) std::abort();
        std::string difference;
        if (!CompareRegTrees(first, root, second, root, &difference)) std::abort();
    }
    return 0;
}
