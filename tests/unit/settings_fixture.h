#pragma once
// A memory registry and a scripted system for the settings tests, installed
// through the same seams the program uses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/clock.h"
#include "platform/registry_memory.h"
#include "platform/system.h"
#include "settings/shell.h"
#include "settings/store.h"

namespace tarvik::testing_support {

struct ScriptedSystem : System {
    WinVersionInfo version{6, 1, 7601, 2};  // Windows 7
    bool versionAvailable = true;
    std::string modulePath = "C:\\Program Files\\Tarvik\\tarvik.exe";
    uint32_t shellMajor = 0, comctlMajor = 0;
    int broadcasts = 0;
    std::string lastBroadcast;
    struct Launch {
        std::string file, parameters;
        int show;
    };
    std::vector<Launch> launches;
    intptr_t launchResult = 42;
    std::string systemFolder = "C:\\WINDOWS\\system32", windowsFolder = "C:\\WINDOWS";

    bool GetVersion(WinVersionInfo& out) override {
        if (versionAvailable) out = version;
        return versionAvailable;
    }
    std::string ModulePath() override { return modulePath; }
    std::string SystemFolder() override { return systemFolder; }
    std::string WindowsFolder() override { return windowsFolder; }
    void BroadcastSettingChange(const char* section) override {
        ++broadcasts;
        lastBroadcast = section ? section : "";
    }
    uint32_t DllVersionMajor(const char* file) override {
        return std::string(file) == "shell32.dll" ? shellMajor : comctlMajor;
    }
    intptr_t ShellExecute(const char* verb, const char* file, const char* parameters,
                          const char* directory, int show) override {
        (void)verb, (void)directory;
        launches.push_back({file ? file : "", parameters ? parameters : "", show});
        return launchResult;
    }
    void SetWindows(uint32_t major, uint32_t minor, uint32_t platform) {
        version = {major, minor, 0, platform};
        ResetVersionCache();
    }
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegistry(&reg_);
        SetSystem(&sys_);
        SetClock(&clock_);
        ResetVersionCache();
        GlobalSettings = GlobalSettingsRecord{};
    }
    void TearDown() override {
        LogClose();
        if (!logDir_.empty()) std::filesystem::remove_all(logDir_);
        SetRegistry(nullptr);
        SetSystem(nullptr);
        SetClock(nullptr);
        ResetVersionCache();
        GlobalSettings = GlobalSettingsRecord{};
        EXPECT_EQ(reg_.OpenHandles(), 0u) << "a key was left open";
    }

    void StartLog() {
        logDir_ = (std::filesystem::temp_directory_path() /
                   ("tarvik-settings-" + std::to_string(::getpid())))
                      .string();
        std::filesystem::create_directories(logDir_);
        ASSERT_EQ(LogOpen((logDir_ + "/t").c_str(), ".log"), 1);
    }
    // The log's lines without their time stamps.
    std::vector<std::string> LogLines() {
        std::ifstream in(LogPath());
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) lines.push_back(line.size() > 13 ? line.substr(13) : "");
        return lines;
    }

    // Helpers on the memory registry, straight through the seam.
    bool HasKey(RegHandle root, const char* path) {
        RegKey key = RegKey::Open(root, path, kKeyRead);
        return static_cast<bool>(key);
    }
    void PutValue(RegHandle root, const char* path, const char* name, uint32_t type,
                  const std::vector<uint8_t>& data) {
        RegKey key = RegKey::Create(root, path, kKeyAllAccess);
        ASSERT_TRUE(key);
        ASSERT_EQ(key.Set(name, type, data.data(), static_cast<uint32_t>(data.size())), kRegOk);
    }
    void PutDword(RegHandle root, const char* path, const char* name, uint32_t value) {
        RegKey key = RegKey::Create(root, path, kKeyAllAccess);
        ASSERT_TRUE(key);
        ASSERT_EQ(key.SetDword(name, value), kRegOk);
    }
    void PutString(RegHandle root, const char* path, const char* name, const std::string& text) {
        PutValue(root, path, name, kRegSz,
                 std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
    }
    // Type and bytes of a value; type kRegNone and no bytes when it is missing.
    std::pair<uint32_t, std::vector<uint8_t>> GetValue(RegHandle root, const char* path,
                                                       const char* name, bool* found = nullptr) {
        RegKey key = RegKey::Open(root, path, kKeyRead);
        std::pair<uint32_t, std::vector<uint8_t>> result{kRegNone, {}};
        uint32_t size = 0;
        const bool ok = key && key.Query(name, &result.first, nullptr, &size) == kRegOk;
        if (found) *found = ok;
        if (!ok) return {kRegNone, {}};
        result.second.resize(size);
        if (size) {
            EXPECT_EQ(key.Query(name, &result.first, result.second.data(), &size), kRegOk);
        }
        return result;
    }

    MemoryRegistry reg_;
    ScriptedSystem sys_;
    VirtualClock clock_;
    std::string logDir_;
};

}  // namespace tarvik::testing_support
