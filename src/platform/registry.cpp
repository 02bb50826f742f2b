#include "platform/registry.h"

#include <cstring>

#include "base/text.h"

namespace tarvik {

Registry& DefaultRegistry();  // registry_host.cpp / registry_win32.cpp

namespace {

Registry* g_registry = nullptr;

struct RootNameEntry {
    RegHandle handle;
    const char* longName;
    const char* shortName;
};
constexpr RootNameEntry kRootNames[] = {
    {kHkeyCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {kHkeyDynData, "HKEY_DYN_DATA", "HKDD"},
};

}  // namespace

Registry& GetRegistry() { return g_registry ? *g_registry : DefaultRegistry(); }

void SetRegistry(Registry* registry) { g_registry = registry; }

const char* RootName(RegHandle root) {
    for (const auto& entry : kRootNames)
        if (entry.handle == root) return entry.longName;
    return nullptr;
}

bool RootFromName(const std::string& name, RegHandle* root) {
    for (const auto& entry : kRootNames) {
        if (EqualsNoCase(name, entry.longName) || EqualsNoCase(name, entry.shortName)) {
            *root = entry.handle;
            return true;
        }
    }
    return false;
}

RegKey RegKey::Open(RegHandle parent, const char* path, uint32_t access, long* status,
                    Registry* registry) {
    Registry& reg = registry ? *registry : GetRegistry();
    RegHandle handle = 0;
    const long rc = reg.Open(parent, path, access, &handle);
    if (status) *status = rc;
    return rc == kRegOk ? RegKey(&reg, handle) : RegKey();
}

RegKey RegKey::Create(RegHandle parent, const char* path, uint32_t access, bool* createdNew,
                      long* status, Registry* registry) {
    Registry& reg = registry ? *registry : GetRegistry();
    RegHandle handle = 0;
    bool created = false;
    const long rc = reg.Create(parent, path, access, &handle, &created);
    if (status) *status = rc;
    if (createdNew) *createdNew = rc == kRegOk && created;
    return rc == kRegOk ? RegKey(&reg, handle) : RegKey();
}

long RegKey::Query(const char* name, uint32_t* type, void* data, uint32_t* size) const {
    return registry_ ? registry_->Query(handle_, name, type, data, size) : kRegInvalidHandle;
}

long RegKey::Set(const char* name, uint32_t type, const void* data, uint32_t size) const {
    return registry_ ? registry_->Set(handle_, name, type, data, size) : kRegInvalidHandle;
}

long RegKey::SetDword(const char* name, uint32_t value) const {
    // REG_DWORD is little-endian by definition.
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return Set(name, kRegDword, bytes, sizeof(bytes));
}

long RegKey::SetString(const char* name, const char* text) const {
    if (!text) text = "";
    return Set(name, kRegSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

long RegKey::DeleteValue(const char* name) const {
    return registry_ ? registry_->DeleteValue(handle_, name) : kRegInvalidHandle;
}

long RegKey::EnumKey(uint32_t index, char* name, uint32_t* nameChars) const {
    return registry_ ? registry_->EnumKey(handle_, index, name, nameChars) : kRegInvalidHandle;
}

long RegKey::CountSubkeys(uint32_t* count) const {
    return registry_ ? registry_->CountSubkeys(handle_, count) : kRegInvalidHandle;
}

namespace {

int DeleteKeyTreeAt(Registry& registry, RegHandle root, const char* path, unsigned depth) {
    if (registry.DeleteKey(root, path) == kRegOk) return 1;  // 95/98/ME remove whole trees
    if (depth >= kMaxKeyDepth) return 0;  // deeper than the system allows: not ours to walk
    RegKey key = RegKey::Open(root, path, kKeyAllAccess, nullptr, &registry);
    if (!key) return 0;
    char name[260];
    for (;;) {
        uint32_t chars = sizeof(name);
        if (key.EnumKey(0, name, &chars) != kRegOk) break;
        if (!DeleteKeyTreeAt(registry, key.handle(), name, depth + 1)) break;
    }
    key.Reset();
    return registry.DeleteKey(root, path) == kRegOk ? 1 : 0;
}

}  // namespace

int DeleteKeyTree(RegHandle root, const char* path, Registry* registry) {
    return DeleteKeyTreeAt(registry ? *registry : GetRegistry(), root, path, 0);
}

}  // namespace tarvik
