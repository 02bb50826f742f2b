#pragma once
// The Registry seam: every registry access of the program goes through it.
// The Windows build uses advapi32 (registry_win32.cpp); the host build and
// tarvikctl use an in-memory tree (MemoryRegistry, registry_memory.cpp) that
// can load and save the .reg text files the Windows registry tools write.
//
// The operations keep advapi32's contract: a status code of the Win32 family
// (0 = success), sizes in bytes, value names and data as the ANSI ("A")
// functions see them, key paths relative to a parent handle with '\'.
#include <cstdint>
#include <string>
#include <utility>

namespace tarvik {

// An open key, or one of the predefined roots. Roots carry the values the
// Windows headers give them (sign-extended on 64-bit), so the advapi32 back
// end passes handles through unchanged.
using RegHandle = std::uintptr_t;

constexpr RegHandle RegRootHandle(uint32_t value) {
    return static_cast<RegHandle>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}
constexpr RegHandle kHkeyClassesRoot = RegRootHandle(0x80000000u);
constexpr RegHandle kHkeyCurrentUser = RegRootHandle(0x80000001u);
constexpr RegHandle kHkeyLocalMachine = RegRootHandle(0x80000002u);
constexpr RegHandle kHkeyDynData = RegRootHandle(0x80000006u);

// The roots the program uses, for code that names a root rather than a handle.
enum class RegRoot : uint8_t { CurrentUser, LocalMachine, ClassesRoot, DynData };
constexpr RegHandle RootHandle(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser: return kHkeyCurrentUser;
        case RegRoot::LocalMachine: return kHkeyLocalMachine;
        case RegRoot::ClassesRoot: return kHkeyClassesRoot;
        case RegRoot::DynData: return kHkeyDynData;
    }
    return 0;
}
// "HKEY_CURRENT_USER" etc.; null for a handle that is not one of the four roots.
const char* RootName(RegHandle root);
// Accepts the long names and HKCU/HKLM/HKCR/HKDD; false for anything else.
bool RootFromName(const std::string& name, RegHandle* root);

// Status codes (Win32 error numbers).
constexpr long kRegOk = 0;
constexpr long kRegFileNotFound = 2;
constexpr long kRegAccessDenied = 5;
constexpr long kRegInvalidHandle = 6;
constexpr long kRegInvalidParameter = 87;
constexpr long kRegMoreData = 234;
constexpr long kRegNoMoreItems = 259;
constexpr long kRegKeyDeleted = 1018;

// Access rights (REGSAM values).
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateSubKey = 0x0004;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyDelete = 0x10000;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyExA. An empty or null path opens the parent itself again.
    virtual long Open(RegHandle parent, const char* path, uint32_t access, RegHandle* out) = 0;
    // RegCreateKeyExA (REG_OPTION_NON_VOLATILE); *createdNew (may be null) tells
    // REG_CREATED_NEW_KEY from REG_OPENED_EXISTING_KEY.
    virtual long Create(RegHandle parent, const char* path, uint32_t access, RegHandle* out,
                        bool* createdNew) = 0;
    // RegCloseKey; closing a root does nothing.
    virtual void Close(RegHandle key) = 0;
    // RegQueryValueExA: null or empty name = the default value. data null asks
    // for type and size only; a buffer smaller than the value gives
    // kRegMoreData with *size set to the size needed. type and size may be null
    // when data is null.
    virtual long Query(RegHandle key, const char* name, uint32_t* type, void* data,
                       uint32_t* size) = 0;
    // RegSetValueExA.
    virtual long Set(RegHandle key, const char* name, uint32_t type, const void* data,
                     uint32_t size) = 0;
    // RegDeleteValueA.
    virtual long DeleteValue(RegHandle key, const char* name) = 0;
    // RegDeleteKeyA: on the NT family only a key without subkeys can go; the
    // 95/98/ME family removes the whole tree.
    virtual long DeleteKey(RegHandle parent, const char* path) = 0;
    // RegEnumKeyExA: *nameChars is the capacity in, the length (without NUL) out.
    virtual long EnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameChars) = 0;
    // RegEnumValueA: same conventions as EnumKey for the name, as Query for data.
    virtual long EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameChars,
                           uint32_t* type, void* data, uint32_t* size) = 0;
    // RegQueryInfoKeyA's subkey count.
    virtual long CountSubkeys(RegHandle key, uint32_t* count) = 0;
};

// The process-wide registry. SetRegistry(nullptr) restores the default: the
// system registry on Windows, an (initially empty) memory registry on Linux.
Registry& GetRegistry();
void SetRegistry(Registry* registry);

constexpr unsigned kMaxKeyDepth = 512;  // the system's own nesting limit for keys

// Removes root\path with every key below it (RegDeleteKeyA refuses a key with
// subkeys on the NT family). 1 when the key is gone, 0 otherwise; what could
// be removed before a failure stays removed.
int DeleteKeyTree(RegHandle root, const char* path, Registry* registry = nullptr);

// An open key that closes itself. Move-only. It remembers the registry that
// opened it, so a test that swaps the registry cannot misdirect the close.
class RegKey {
public:
    RegKey() = default;
    RegKey(Registry* registry, RegHandle handle) : registry_(registry), handle_(handle) {}
    RegKey(RegKey&& other) noexcept
        : registry_(std::exchange(other.registry_, nullptr)),
          handle_(std::exchange(other.handle_, 0)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Reset();
            registry_ = std::exchange(other.registry_, nullptr);
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { Reset(); }

    // Open/create below a root or an open key, in the process-wide registry
    // unless one is given. *status (may be null) receives the call's code.
    static RegKey Open(RegHandle parent, const char* path, uint32_t access, long* status = nullptr,
                       Registry* registry = nullptr);
    static RegKey Create(RegHandle parent, const char* path, uint32_t access,
                         bool* createdNew = nullptr, long* status = nullptr,
                         Registry* registry = nullptr);

    explicit operator bool() const { return registry_ != nullptr; }
    RegHandle handle() const { return handle_; }
    Registry* registry() const { return registry_; }

    long Query(const char* name, uint32_t* type, void* data, uint32_t* size) const;
    long Set(const char* name, uint32_t type, const void* data, uint32_t size) const;
    long SetDword(const char* name, uint32_t value) const;
    // REG_SZ with its terminating NUL.
    long SetString(const char* name, const char* text) const;
    long DeleteValue(const char* name) const;
    long EnumKey(uint32_t index, char* name, uint32_t* nameChars) const;
    long CountSubkeys(uint32_t* count) const;

    void Reset() {
        if (registry_) registry_->Close(handle_);
        registry_ = nullptr;
        handle_ = 0;
    }

private:
    Registry* registry_ = nullptr;
    RegHandle handle_ = 0;
};

}  // namespace tarvik
