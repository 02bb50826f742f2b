// Imports arbitrary .reg text. Whatever was imported must export and import
// again into the same tree, and no key may stay open. Then keys and values
// with arbitrary names (a drive's INQUIRY ends up in key names): every key
// written must read back as it was, or be refused with all below it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry_memory.h"
#include "settings/reg_file.h"

using namespace tarvik;

namespace {

// Copies the tree below `from` to `to` through the seam alone, leaving out
// each key whose name a file cannot hold; returns how many were left out.
size_t CopyWritable(Registry& a, RegHandle from, Registry& b, RegHandle to) {
    size_t left = 0;
    std::vector<char> name(16384);
    std::vector<uint8_t> data(1 << 16);
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = static_cast<uint32_t>(name.size()), type = 0;
        uint32_t size = static_cast<uint32_t>(data.size());
        if (a.EnumValue(from, i, name.data(), &chars, &type, data.data(), &size) != kRegOk) break;
        const std::string valueName(name.data(), chars);
        if (b.Set(to, valueName.c_str(), type, data.data(), size) != kRegOk) std::abort();
    }
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = static_cast<uint32_t>(name.size());
        if (a.EnumKey(from, i, name.data(), &chars) != kRegOk) break;
        const std::string keyName(name.data(), chars);
        if (!RegKeyNameWritable(keyName)) {
            ++left;
            continue;
        }
        RegKey child = RegKey::Open(from, keyName.c_str(), kKeyRead, nullptr, &a);
        RegKey copy = RegKey::Create(to, keyName.c_str(), kKeyAllAccess, nullptr, nullptr, &b);
        if (!child || !copy) std::abort();
        left += CopyWritable(a, child.handle(), b, copy.handle());
    }
    return left;
}

void NamesRoundTrip(FuzzedDataProvider& in) {
    MemoryRegistry first;
    for (int n = 0; n < 16 && in.remaining_bytes() > 0; ++n) {
        // Backslashes in the path make deeper keys, as a drive's name does.
        const std::string path = "F\\" + in.ConsumeRandomLengthString(64);
        RegKey key =
            RegKey::Create(kHkeyCurrentUser, path.c_str(), kKeyAllAccess, nullptr, nullptr, &first);
        if (!key) continue;
        const std::string valueName = in.ConsumeRandomLengthString(32);
        const std::string data = in.ConsumeRandomLengthString(32);
        const uint32_t type = in.PickValueInArray<uint32_t>({kRegSz, kRegDword, kRegBinary});
        (void)key.Set(valueName.c_str(), type, data.data(), static_cast<uint32_t>(data.size()));
    }
    RegKey top = RegKey::Create(kHkeyCurrentUser, "F", kKeyAllAccess, nullptr, nullptr, &first);
    std::string text;
    std::vector<std::string> refused;
    if (!ExportRegText(first, kHkeyCurrentUser, "F", &text, &refused)) std::abort();
    MemoryRegistry second;
    std::string error;
    if (!ImportRegText(second, EncodeRegFile(text), &error)) std::abort();
    MemoryRegistry expected;
    RegKey copy = RegKey::Create(kHkeyCurrentUser, "F", kKeyAllAccess, nullptr, nullptr, &expected);
    if (CopyWritable(first, top.handle(), expected, copy.handle()) != refused.size()) std::abort();
    std::string difference;
    if (!CompareRegTrees(expected, kHkeyCurrentUser, second, kHkeyCurrentUser, &difference))
        std::abort();
}

}  // namespace

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
    FuzzedDataProvider in(data, size);
    NamesRoundTrip(in);
    return 0;
}
