#include <windows.h>

#include "platform/registry.h"

namespace tarvik {
namespace {

// The seam carries keys as integers so the portable code needs no HKEY.
HKEY ToHkey(RegHandle handle) { return reinterpret_cast<HKEY>(handle); }

bool IsPredefined(RegHandle handle) {
    return handle == kHkeyCurrentUser || handle == kHkeyLocalMachine ||
           handle == kHkeyClassesRoot || handle == kHkeyDynData;
}

// The system registry through advapi32's ANSI functions; handles pass through.
class Win32Registry final : public Registry {
public:
    long Open(RegHandle parent, const char* path, uint32_t access, RegHandle* out) override {
        HKEY key = nullptr;
        const LONG rc = ::RegOpenKeyExA(ToHkey(parent), path ? path : "", 0, access, &key);
        if (rc == ERROR_SUCCESS) *out = reinterpret_cast<RegHandle>(key);
        return rc;
    }
    long Create(RegHandle parent, const char* path, uint32_t access, RegHandle* out,
                bool* createdNew) override {
        HKEY key = nullptr;
        DWORD disposition = 0;
        const LONG rc =
            ::RegCreateKeyExA(ToHkey(parent), path ? path : "", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              access, nullptr, &key, &disposition);
        if (rc == ERROR_SUCCESS) {
            *out = reinterpret_cast<RegHandle>(key);
            if (createdNew) *createdNew = disposition == REG_CREATED_NEW_KEY;
        }
        return rc;
    }
    void Close(RegHandle key) override {
        if (key && !IsPredefined(key)) ::RegCloseKey(ToHkey(key));
    }
    long Query(RegHandle key, const char* name, uint32_t* type, void* data,
               uint32_t* size) override {
        DWORD valueType = 0;
        DWORD bytes = size ? *size : 0;
        const LONG rc = ::RegQueryValueExA(ToHkey(key), name, nullptr, &valueType,
                                           static_cast<BYTE*>(data), size ? &bytes : nullptr);
        if (type) *type = valueType;
        if (size) *size = bytes;
        return rc;
    }
    long Set(RegHandle key, const char* name, uint32_t type, const void* data,
             uint32_t size) override {
        return ::RegSetValueExA(ToHkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
    }
    long DeleteValue(RegHandle key, const char* name) override {
        return ::RegDeleteValueA(ToHkey(key), name);
    }
    long DeleteKey(RegHandle parent, const char* path) override {
        return ::RegDeleteKeyA(ToHkey(parent), path ? path : "");
    }
    long EnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameChars) override {
        DWORD chars = nameChars ? *nameChars : 0;
        const LONG rc =
            ::RegEnumKeyExA(ToHkey(key), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (nameChars) *nameChars = chars;
        return rc;
    }
    long EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                   void* data, uint32_t* size) override {
        DWORD chars = nameChars ? *nameChars : 0;
        DWORD valueType = 0;
        DWORD bytes = size ? *size : 0;
        const LONG rc = ::RegEnumValueA(ToHkey(key), index, name, &chars, nullptr, &valueType,
                                        static_cast<BYTE*>(data), size ? &bytes : nullptr);
        if (nameChars) *nameChars = chars;
        if (type) *type = valueType;
        if (size) *size = bytes;
        return rc;
    }
    long CountSubkeys(RegHandle key, uint32_t* count) override {
        DWORD subkeys = 0;
        const LONG rc =
            ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS && count) *count = subkeys;
        return rc;
    }
};

}  // namespace

Registry& DefaultRegistry() {
    static Win32Registry registry;
    return registry;
}

}  // namespace tarvik
