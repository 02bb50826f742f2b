// Test-only ASPI for Win32 manager: the simulated drives behind the ASPI
// transport of the real program under Wine. Never part of a release.
//
// Drives: the profiles listed in TARVIK_SIM_PROFILES ("a.json;b.json"), or in
// "wnaspi32.sim" beside this DLL (one path a line). Trace: TARVIK_SIM_TRACE
// (JSON lines, appended). State kept between runs: TARVIK_SIM_STATE, or the
// trace path with ".state" added; changes another process writes there while
// the program runs (tarvikctl sim ...) are picked up before the next command.
// Each drive's letter is published in the
// configuration-manager keys the program reads to resolve ASPI addresses.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "scsi/aspi_defs.h"
#include "sim_aspi.h"
#include "sim_bus.h"
#include "sim_state.h"

namespace {

using namespace tarvik;

HMODULE g_module = nullptr;

struct Manager {
    sim::Bus bus;
    sim::AspiManager aspi{bus};
    std::unique_ptr<sim::SharedStateFile> state;
    std::string tracePath;
};

std::string Env(const char* name) {
    char buf[4096];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string ModuleFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (!n || n >= MAX_PATH) return {};
    std::string p(path, n);
    const size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

void TraceNote(Manager& m, const std::string& message) {
    if (m.tracePath.empty()) return;
    if (FILE* f = std::fopen(m.tracePath.c_str(), "ab")) {
        const std::string line = "{\"t\":" + std::to_string(GetClock().TickCount()) +
                                 ",\"error\":\"" + message + "\"}\n";
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

// The program resolves an ASPI address through
// HKEY_DYN_DATA\Config Manager\Enum\<devnode> "HardWareKey" and
// HKLM\Enum\<HardWareKey> "CurrentDriveLetterAssignment"; publish both.
uint32_t DevNode(size_t index) { return 0x00C0FE00u + static_cast<uint32_t>(index); }

void PublishLetters(Manager& m) {
    for (size_t i = 0; i < m.bus.Count(); ++i) {
        char node[64], hardware[64];
        std::snprintf(node, sizeof node, "Config Manager\\Enum\\%08X", DevNode(i));
        std::snprintf(hardware, sizeof hardware, "SCSI\\TARVIKSIM\\DRIVE%02u",
                      static_cast<unsigned>(i));
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_DYN_DATA, node, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "HardWareKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(hardware),
                           static_cast<DWORD>(std::strlen(hardware) + 1));
            RegCloseKey(key);
        }
        const std::string enumKey = std::string("Enum\\") + hardware;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, enumKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            const char letter[2] = {m.bus.Letter(i), 0};
            RegSetValueExA(key, "CurrentDriveLetterAssignment", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(letter), 2);
            RegCloseKey(key);
        }
    }
}

Manager& Get() {
    static std::once_flag once;
    static std::unique_ptr<Manager> manager;
    std::call_once(once, [] {
        manager = std::make_unique<Manager>();
        Manager& m = *manager;
        m.bus.UseClock(&GetClock());  // the program's own time: it really waits
        m.bus.KeepTraceInMemory(false);
        m.tracePath = Env("TARVIK_SIM_TRACE");
        std::string statePath = Env("TARVIK_SIM_STATE");
        if (statePath.empty() && !m.tracePath.empty()) statePath = m.tracePath + ".state";
        if (!statePath.empty()) m.state = std::make_unique<sim::SharedStateFile>(statePath);

        std::vector<std::string> profiles = sim::SplitProfileList(Env("TARVIK_SIM_PROFILES"));
        if (profiles.empty())
            (void)sim::ReadProfileListFile(ModuleFolder() + "wnaspi32.sim", profiles);
        for (const std::string& p : profiles) {
            std::string error;
            if (!m.bus.AddFile(p, error)) {
                TraceNote(m, "profile not loaded: " + p);
                m.aspi.SetFailed(true);
            }
        }
        // The program waits for a command that never completes itself.
        for (size_t i = 0; i < m.bus.Count(); ++i) m.bus.At(i).SetTimeoutTakesTime(false);
        if (m.state) {
            std::string error;
            if (!m.state->Load(m.bus, error)) TraceNote(m, "state not loaded");
        }
        if (!m.tracePath.empty() && !m.bus.OpenTraceFile(m.tracePath, true)) m.tracePath.clear();
        PublishLetters(m);
    });
    return *manager;
}

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

__declspec(dllexport) DWORD GetASPI32SupportInfo() {
    std::lock_guard<std::mutex> guard(Lock());
    return Get().aspi.SupportInfo();
}

__declspec(dllexport) DWORD SendASPI32Command(void* srb) {
    std::lock_guard<std::mutex> guard(Lock());
    Manager& m = Get();
    std::string error;
    // Another process (tarvikctl sim ...) may have changed discs or trays.
    if (m.state && !m.state->Refresh(m.bus, error)) TraceNote(m, "state not applied");
    const DWORD result =
        m.aspi.Send(srb, [](void* event) { SetEvent(static_cast<HANDLE>(event)); });
    if (m.aspi.TakeChanged() && m.state) (void)m.state->Save(m.bus, error);
    return result;
}

__declspec(dllexport) BOOL TranslateASPI32Address(DWORD* path, DWORD* devNode) {
    if (!path || !devNode) return FALSE;
    std::lock_guard<std::mutex> guard(Lock());
    Manager& m = Get();
    const uint32_t adapter = (*path >> 16) & 0xFF;
    const uint32_t target = (*path >> 8) & 0xFF;
    const size_t index = size_t{adapter} * 16 + target;
    if ((*path & 0xFF) != 0 || target >= 16 || index >= m.bus.Count()) {
        *devNode = 0;
        return FALSE;
    }
    *devNode = DevNode(index);
    return TRUE;
}

}  // extern "C"
