#pragma once
// The System seam: the few Windows services the portable core needs. The base
// class answers like a machine that has nothing (no drives, no files, calls
// fail); the Win32 build installs the real one, tests install fakes that
// override only what a test needs. Add a service here as a virtual with a
// "nothing there" default, and implement it in system_win32.cpp.
#include <cstdint>
#include <string>

namespace tarvik {

// GetVersionExA's answer. platformId: 1 = 95/98/ME family, 2 = NT family.
struct WinVersionInfo {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platformId = 0;
};

constexpr unsigned kDriveCdrom = 5;  // GetDriveTypeA's DRIVE_CDROM

class System {
public:
    virtual ~System() = default;

    // GetVersionExA; false when the call fails.
    virtual bool GetVersion(WinVersionInfo& out) {
        (void)out;
        return false;
    }
    // GetLogicalDrives: bit 0 = A:.
    virtual uint32_t LogicalDrives() { return 0; }
    // GetDriveTypeA on a root path such as "D:\\".
    virtual unsigned DriveType(const std::string& root) {
        (void)root;
        return 1;  // DRIVE_NO_ROOT_DIR
    }
    // FormatMessageA text of a system error code, without the trailing line end;
    // empty when the system has no text for it.
    virtual std::string SystemMessage(uint32_t code) {
        (void)code;
        return {};
    }
    // Full path of the program's module (GetModuleFileNameA).
    virtual std::string ModulePath() { return {}; }
    // GetFileAttributesA; 0xFFFFFFFF when the file does not exist.
    virtual uint32_t FileAttributes(const std::string& path) {
        (void)path;
        return 0xFFFFFFFFu;
    }
    // GetPrivateProfileStringA with an empty default, at most maxChars - 1 characters.
    virtual std::string ProfileString(const std::string& file, const std::string& section,
                                      const std::string& key, unsigned maxChars) {
        (void)file, (void)section, (void)key, (void)maxChars;
        return {};
    }
    // GetVolumeInformationA on a root path; false when it fails.
    virtual bool VolumeInformation(const std::string& root, std::string* label, uint32_t* serial) {
        (void)root, (void)label, (void)serial;
        return false;
    }
    // GetSystemDirectoryA and GetWindowsDirectoryA, without a trailing
    // backslash; empty when the call fails. The system's own programs are
    // started from there by full path, never found through the search path.
    virtual std::string SystemFolder() { return {}; }
    virtual std::string WindowsFolder() { return {}; }
    // ShellExecuteA(NULL, verb, file, parameters, directory, show); the result
    // is the system's (above 32 on success). Null pointers pass as null.
    virtual intptr_t ShellExecute(const char* verb, const char* file, const char* parameters,
                                  const char* directory, int show) {
        (void)verb, (void)file, (void)parameters, (void)directory, (void)show;
        return 2;  // ERROR_FILE_NOT_FOUND
    }
    // SendMessageTimeout(HWND_BROADCAST, WM_SETTINGCHANGE, 0, section, ...).
    virtual void BroadcastSettingChange(const char* section) { (void)section; }
    // Major version from the library's DllGetVersion (LoadLibraryA, DLLVERSIONINFO
    // of 20 bytes); 0 when the library or the export is missing or it fails.
    virtual uint32_t DllVersionMajor(const char* file) {
        (void)file;
        return 0;
    }
};

// The process-wide System. SetSystem(nullptr) restores the default for the build.
System& Sys();
void SetSystem(System* system);

}  // namespace tarvik
