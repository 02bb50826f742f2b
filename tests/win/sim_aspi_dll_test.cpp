// The test wnaspi32.dll under Wine, reached through the program's own ASPI
// transport. Wine answers "wnaspi32.dll" with its builtin unless told
// otherwise, and a process keeps the first library it loaded, so the checks
// run in a copy of this test program under another name, for which the
// native library is configured, in a folder of its own beside the DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "sim_bus.h"
#include "sim_state.h"

namespace tarvik {
namespace {

constexpr const char* kChildExe = "tarvik_sim_aspi_check.exe";

std::string EnvOf(const char* name) {
    char buf[1024];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- run inside the copy only (DISABLED_ keeps them out of ordinary runs) ----

TEST(SimAspiDllChild, DISABLED_FindsDrivesAndSetsSpeed) {
    ASSERT_EQ(SCSIInit(kPreferAspi), kTransportAspi);
    EXPECT_EQ(GetAspiStatus(), 3u);
    DriveAddress a;
    ASSERT_EQ(Transport().FindFirstDrive(&a), 1);
    EXPECT_EQ(a.adapter, 0u);
    EXPECT_EQ(a.target, 0u);
    EXPECT_EQ(a.letter, static_cast<uint32_t>('D'));  // published by the DLL
    DriveAddress b = a;
    ASSERT_EQ(Transport().FindNextDrive(&b), 1);
    EXPECT_EQ(b.target, 1u);
    EXPECT_EQ(b.letter, static_cast<uint32_t>('E'));
    DriveAddress c = b;
    EXPECT_EQ(Transport().FindNextDrive(&c), 0);

    InquiryData inq;
    ASSERT_NE(GetCDROMInquiry(a, &inq), 0);
    EXPECT_STREQ(inq.vendor, "TARVIKSM");
    EXPECT_STREQ(inq.product, "WINE CHECK CD   ");
    ASSERT_NE(SetCDROMSpeed(a, 2822, 0xFFFF), 0);
    EXPECT_EQ(GetCDSpeed(a), 2822u);
    // The second drive has no disc.
    EXPECT_EQ(TestUnitReady(b), 1);
}

TEST(SimAspiDllChild, DISABLED_SpeedPersistsIntoTheNextRun) {
    ASSERT_EQ(SCSIInit(kPreferAspi), kTransportAspi);
    DriveAddress a;
    ASSERT_EQ(Transport().FindFirstDrive(&a), 1);
    EXPECT_EQ(GetCDSpeed(a), 2822u);
    EXPECT_EQ(TestUnitReady(a), 0);

    // Another process takes the disc out while the program runs (as
    // "tarvikctl --state FILE sim 0 remove" does): the next command sees it.
    const std::string statePath = EnvOf("TARVIK_SIM_TRACE") + ".state";
    sim::Bus other;
    std::string error;
    ASSERT_TRUE(other.AddFile(EnvOf("TARVIK_SIM_DIR") + "cd.json", error)) << error;
    ASSERT_TRUE(other.AddFile(EnvOf("TARVIK_SIM_DIR") + "empty.json", error)) << error;
    ASSERT_TRUE(sim::LoadBusState(other, statePath, error)) << error;
    other.At(0).RemoveMedium();
    ASSERT_TRUE(sim::SaveBusState(other, statePath, error)) << error;
    EXPECT_EQ(TestUnitReady(a), 1);
}

// ---- the ordinary test: prepares the copy and runs it twice ----

class SimAspiDll : public testing::Test {
protected:
    void SetUp() override {
        char exe[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        std::string self(exe, n);
        const std::string binDir = self.substr(0, self.find_last_of("\\/") + 1);
        dll_ = binDir + "wnaspi32.dll";
        if (GetFileAttributesA(dll_.c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "wnaspi32.dll is not built beside the tests";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "tarvik-simaspi-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(self.c_str(), (dir_ + kChildExe).c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(dll_.c_str(), (dir_ + "wnaspi32.dll").c_str(), FALSE));

        HKEY key = nullptr;
        const std::string app =
            std::string("Software\\Wine\\AppDefaults\\") + kChildExe + "\\DllOverrides";
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, app.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "wnaspi32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
        RegCloseKey(key);

        std::ofstream(dir_ + "cd.json") << R"({"identity": {"product": "WINE CHECK CD"},
                   "speeds": {"cd": {"read": [7056, 4234, 2822, 1411]}},
                   "medium": {"kind": "cd"}, "latencyMs": {"default": 0, "tray": 0}})";
        std::ofstream(dir_ + "empty.json")
            << R"({"speeds": {"cd": {"read": [7056]}}, "latencyMs": {"default": 0}})";
        trace_ = dir_ + "trace.jsonl";
        SetEnvironmentVariableA("TARVIK_SIM_PROFILES",
                                (dir_ + "cd.json;" + dir_ + "empty.json").c_str());
        SetEnvironmentVariableA("TARVIK_SIM_TRACE", trace_.c_str());
        SetEnvironmentVariableA("TARVIK_SIM_DIR", dir_.c_str());
    }

    void TearDown() override {
        SetEnvironmentVariableA("TARVIK_SIM_PROFILES", nullptr);
        SetEnvironmentVariableA("TARVIK_SIM_TRACE", nullptr);
        SetEnvironmentVariableA("TARVIK_SIM_DIR", nullptr);
        for (const char* f : {kChildExe, "wnaspi32.dll", "cd.json", "empty.json", "trace.jsonl",
                              "trace.jsonl.state"})
            DeleteFileA((dir_ + f).c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    DWORD RunChild(const std::string& test) {
        std::string cmd = "\"" + dir_ + kChildExe + "\" --gtest_also_run_disabled_tests " +
                          "--gtest_filter=SimAspiDllChild.DISABLED_" + test;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(),
                            &si, &pi))
            return 9999;
        WaitForSingleObject(pi.hProcess, 120000);
        DWORD code = 9998;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }

    std::string dll_, dir_, trace_;
};

TEST_F(SimAspiDll, ProgramSeesSimulatedDrivesThroughAspi) {
    EXPECT_EQ(RunChild("FindsDrivesAndSetsSpeed"), 0u);
    const std::string trace = Slurp(trace_);
    EXPECT_NE(trace.find(R"("cdb":"BB000B06FFFF000000000000","status":0)"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find(R"("drive":1,"cdb":"000000000000","status":2,"sense":"02/3A/00")"),
              std::string::npos)
        << trace;
    EXPECT_NE(Slurp(trace_ + ".state").find("2822"), std::string::npos);

    EXPECT_EQ(RunChild("SpeedPersistsIntoTheNextRun"), 0u);
}

}  // namespace
}  // namespace tarvik
