#include <windows.h>

// These need windows.h first.
#include <shellapi.h>
#include <shlwapi.h>

#include "platform/handles_win32.h"
#include "platform/late_bound_win32.h"
#include "platform/system.h"

namespace tarvik {
namespace {

// A folder from one of the Get...DirectoryA calls; empty when it fails or
// would not fit.
std::string Folder(UINT(WINAPI* query)(LPSTR, UINT)) {
    char path[MAX_PATH + 1] = {};
    const UINT n = query(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string folder(path, n);
    if (folder.back() == '\\') folder.pop_back();  // a Windows in a drive's root
    return folder;
}

class Win32System final : public System {
public:
    bool GetVersion(WinVersionInfo& out) override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!::GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
        out.major = info.dwMajorVersion;
        out.minor = info.dwMinorVersion;
        out.build = info.dwBuildNumber;
        out.platformId = info.dwPlatformId;
        return true;
    }
    uint32_t LogicalDrives() override { return ::GetLogicalDrives(); }
    unsigned DriveType(const std::string& root) override { return ::GetDriveTypeA(root.c_str()); }
    std::string SystemMessage(uint32_t code) override {
        char buffer[512] = {};
        const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, code, 0, buffer, sizeof(buffer), nullptr);
        std::string text(buffer, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    std::string ModulePath() override {
        char path[MAX_PATH + 1] = {};
        const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        return std::string(path, n);
    }
    uint32_t FileAttributes(const std::string& path) override {
        return ::GetFileAttributesA(path.c_str());
    }
    std::string ProfileString(const std::string& file, const std::string& section,
                              const std::string& key, unsigned maxChars) override {
        std::string buffer(maxChars ? maxChars : 1, '\0');
        const DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), file.c_str());
        buffer.resize(n);
        return buffer;
    }
    bool VolumeInformation(const std::string& root, std::string* label, uint32_t* serial) override {
        char name[MAX_PATH + 1] = {};
        DWORD serialNumber = 0;
        if (!::GetVolumeInformationA(root.c_str(), name, sizeof(name), &serialNumber, nullptr,
                                     nullptr, nullptr, 0))
            return false;
        if (label) *label = name;
        if (serial) *serial = serialNumber;
        return true;
    }
    std::string SystemFolder() override { return Folder(::GetSystemDirectoryA); }
    std::string WindowsFolder() override { return Folder(::GetWindowsDirectoryA); }
    intptr_t ShellExecute(const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override {
        return reinterpret_cast<intptr_t>(
            ::ShellExecuteA(nullptr, verb, file, parameters, directory, show));
    }
    void BroadcastSettingChange(const char* section) override {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                              reinterpret_cast<LPARAM>(section), SMTO_NORMAL, 1000, &result);
    }
    uint32_t DllVersionMajor(const char* file) override {
        const UniqueModule module(::LoadLibraryA(file));
        if (!module) return 0;
        uint32_t major = 0;
        if (const auto fn = LibraryFunction<DLLGETVERSIONPROC>(module.get(), "DllGetVersion")) {
            DLLVERSIONINFO info{};
            info.cbSize = sizeof(info);
            if (fn(&info) == S_OK) major = info.dwMajorVersion;
        }
        return major;
    }
};

}  // namespace

System& DefaultSystem() {
    static Win32System system;
    return system;
}

}  // namespace tarvik
