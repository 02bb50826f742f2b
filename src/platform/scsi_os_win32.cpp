#include <windows.h>

#include "platform/late_bound_win32.h"
#include "platform/scsi_os.h"

namespace tarvik {
namespace {

class Win32ScsiOs final : public ScsiOs {
public:
    bool OpenDevice(const std::string& path, uint32_t access, void** handle,
                    uint32_t* error) override {
        HANDLE h = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            *error = ::GetLastError();
            return false;
        }
        *handle = h;
        return true;
    }
    void CloseDevice(void* handle) override { ::CloseHandle(static_cast<HANDLE>(handle)); }
    bool DeviceControl(void* handle, uint32_t code, void* block, uint32_t inSize, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) override {
        DWORD bytes = 0;
        if (!::DeviceIoControl(static_cast<HANDLE>(handle), code, block, inSize,
                               outSize ? block : nullptr, outSize, &bytes, nullptr)) {
            *error = ::GetLastError();
            return false;
        }
        *returned = bytes;
        return true;
    }

    bool UnderWine() override { return late::wine_get_version() != nullptr; }

    bool LoadModule(const char* name) override {
        if (!module_) module_ = ::LoadLibraryA(name);
        return module_ != nullptr;
    }
    void* ModuleProc(const char* name) override { return LibraryExport(module_, name); }
    std::string LoadedModulePath() override {
        if (!module_) return {};
        wchar_t path[MAX_PATH + 1] = {};
        const DWORD n = ::GetModuleFileNameW(module_, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return {};  // none, or cut short
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0,
                                                nullptr, nullptr);
        if (bytes <= 0) return {};
        std::string utf8(static_cast<size_t>(bytes), '\0');
        (void)::WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), utf8.data(), bytes,
                                    nullptr, nullptr);
        return utf8;
    }

    void* NewEvent() override { return ::CreateEventA(nullptr, FALSE, FALSE, nullptr); }
    bool WaitEvent(void* event, uint32_t ms) override {
        return ::WaitForSingleObject(static_cast<HANDLE>(event), ms) == WAIT_OBJECT_0;
    }
    void CloseEvent(void* event) override { ::CloseHandle(static_cast<HANDLE>(event)); }

private:
    // The ASPI manager is never unloaded: a timed-out SRB may still be in its hands.
    HMODULE module_ = nullptr;
};

}  // namespace

ScsiOs& DefaultScsiOs() {
    static Win32ScsiOs os;
    return os;
}

}  // namespace tarvik
