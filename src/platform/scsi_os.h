#pragma once
// The OS services the transport needs, behind one seam: the drive device and
// its pass-through ioctl (SPTI), the ASPI library and its completion event.
// (The configuration-manager keys of the ASPI drive letters are read through
// the Registry seam.) The base class is a machine that has none of them: every open and
// load fails. The Win32 build installs the real one; tests install fakes.
#include <cstdint>
#include <string>

namespace tarvik {

// Win32 error codes the transport looks at.
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorNotSupported = 50;

// CreateFile access rights.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;

constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
// Input: one byte, non-zero to prevent removal; no output.
constexpr uint32_t kIoctlStorageMediaRemoval = 0x2D4804;

class ScsiOs {
public:
    virtual ~ScsiOs() = default;

    // CreateFileA(path, access, share read|write, OPEN_EXISTING). On failure
    // returns false and the system error code.
    virtual bool OpenDevice(const std::string& path, uint32_t access, void** handle,
                            uint32_t* error) {
        (void)path, (void)access, (void)handle;
        *error = kErrorFileNotFound;
        return false;
    }
    virtual void CloseDevice(void* handle) { (void)handle; }
    // DeviceIoControl with one buffer for input and output (the pass-through
    // block); an outSize of 0 passes no output buffer. False with the system
    // error code when the call fails.
    virtual bool DeviceControl(void* handle, uint32_t code, void* block, uint32_t inSize,
                               uint32_t outSize, uint32_t* returned, uint32_t* error) {
        (void)handle, (void)code, (void)block, (void)inSize, (void)outSize, (void)returned;
        *error = kErrorInvalidHandle;
        return false;
    }

    // True when the program runs under Wine (ntdll exports wine_get_version),
    // looked up once.
    virtual bool UnderWine() { return false; }

    // LoadLibraryA; the library stays loaded for the life of the process.
    virtual bool LoadModule(const char* name) {
        (void)name;
        return false;
    }
    // GetProcAddress in the library loaded above; null when absent.
    virtual void* ModuleProc(const char* name) {
        (void)name;
        return nullptr;
    }
    // Full file name of the library loaded above, in UTF-8 (from
    // GetModuleFileNameW: a folder name outside the ANSI code page survives).
    virtual std::string LoadedModulePath() { return {}; }

    // CreateEventA(NULL, FALSE, FALSE, NULL); null when it fails.
    virtual void* NewEvent() { return nullptr; }
    // WaitForSingleObject; true when the event was signalled in time.
    virtual bool WaitEvent(void* event, uint32_t ms) {
        (void)event, (void)ms;
        return false;
    }
    virtual void CloseEvent(void* event) { (void)event; }
};

// The process-wide seam. SetScsiOs(nullptr) restores the build's default.
ScsiOs& ScsiSys();
void SetScsiOs(ScsiOs* os);

}  // namespace tarvik
