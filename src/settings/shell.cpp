#include "settings/shell.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "base/log.h"
#include "base/text.h"
#include "platform/system.h"

namespace tarvik {

const char kPolicyKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const char kNoDriveTypeAutoRun[] = "NoDriveTypeAutoRun";
const char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kAutoPlayKeyPath[] = "AudioCD\\shell";

namespace {

constexpr uint32_t kAutoRunAllOff = 0xFF;  // no autorun on drive types 0..7
constexpr const char* kObsoleteRunNames[] = {"Tarvik 2.0", "Tarvik 2.1"};
constexpr unsigned kModulePathBytes = 260;
// What the system uses when HungAppTimeout is not set, and what Vista and
// later use whatever it says.
constexpr uint32_t kHungAppTimeoutDefaultMs = 20000;
constexpr uint32_t kHungAppTimeoutVistaMs = 15000;
constexpr uint32_t kHungAppTimeoutChars = 16;  // longer text is not a number of ms
constexpr uint32_t kAutoPlayVerbChars = 64;    // the verb names a shell command

uint32_t g_winVersion = 0;
int g_shellMajor = 0;
int g_comctlMajor = 0;

// Reads up to 4 bytes of a value as binary data; the bytes not delivered stay 0.
bool GetValArray(const RegKey& key, const char* name, uint32_t* value) {
    unsigned char bytes[4] = {};
    uint32_t size = sizeof(bytes);
    if (key.Query(name, nullptr, bytes, &size) != kRegOk) return false;
    *value = GetLe32(bytes);
    return true;
}

int GetDllVersionMajor(const char* file, int* cache) {
    if (*cache) return *cache;
    *cache = static_cast<int>(Sys().DllVersionMajor(file));
    return *cache;
}

// Reads a number the way atoi does (blanks, sign, digits up to the first other
// character), but a value beyond the int range saturates instead of being
// undefined, and a negative one counts as 0.
uint32_t ParseMilliseconds(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return negative ? 0 : static_cast<uint32_t>(value);
}

OwnedStr Duplicate(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return OwnedStr(copy);
}

// The length of the program at the start of a start entry: the path in quotes
// as AddAutoLoad writes it, or bare as older versions wrote it, either in any
// letter case. 0 when the entry starts another program.
size_t ProgramLength(std::string_view entry, std::string_view path) {
    const bool quoted = !entry.empty() && entry[0] == '"';
    const size_t at = quoted ? 1 : 0;
    const size_t end = at + path.size() + at;  // the closing quote too
    if (entry.size() < end || !EqualsNoCase(entry.substr(at, path.size()), path)) return 0;
    if (quoted && entry[end - 1] != '"') return 0;
    return end;
}

// The text of a Run-key value; false when it is missing or empty. The text
// ends at its first NUL; a value stored without one still ends within the
// bytes read.
bool ReadEntry(const RegKey& key, const char* name, std::string* text) {
    uint32_t size = 0;
    if (key.Query(name, nullptr, nullptr, &size) != kRegOk || size == 0) return false;
    std::string buffer(size, '\0');
    if (key.Query(name, nullptr, buffer.data(), &size) != kRegOk) return false;
    text->assign(buffer.data(), strnlen(buffer.data(), size));
    return !text->empty();
}

}  // namespace

// ---- autorun policy ---------------------------------------------------------

int IsAutoRunEnabled(RegHandle root) {
    RegKey key = RegKey::Open(root, kPolicyKeyPath, kKeyRead);
    if (!key) return 1;
    uint32_t mask = 0;
    if (!GetValArray(key, kNoDriveTypeAutoRun, &mask)) return 1;
    return (mask & kCdromAutoRunBit) ? 0 : 1;
}

int IsAutoRunSystem() { return IsAutoRunEnabled(kHkeyLocalMachine); }
int IsAutoRunUser() { return IsAutoRunEnabled(kHkeyCurrentUser); }

int IsPolicyWritable(RegHandle root) {
    bool created = false;
    RegKey key = RegKey::Create(root, kPolicyKeyPath, kKeyRead | kKeyWrite, &created);
    if (!key) return 0;
    key.Reset();
    // The probe must not leave a key behind that the user never asked for.
    if (created) (void)GetRegistry().DeleteKey(root, kPolicyKeyPath);
    return 1;
}

int CanSetAutoRunSystem() { return IsPolicyWritable(kHkeyLocalMachine); }
int CanSetAutoRunUser() { return IsPolicyWritable(kHkeyCurrentUser); }

void ShellUpdatePolicy() {
    LogPrintf("        ShellUpdatePolicy STARTED\n");
    LogPrintf("            SendMessageTimeout(WM_SETTINGCHANGE)...\n");
    Sys().BroadcastSettingChange("Policy");
    LogPrintf("                DONE\n");
    LogPrintf("            ShellUpdatePolicy FINISHED\n");
}

int SetAutoRun(RegHandle root, int enable) {
    LogPrintf("    SetAutoRun(%d) STARTED\n", enable);
    LogPrintf("        RegCreateKeyEx(%s)...\n", kPolicyKeyPath);
    RegKey key = RegKey::Create(root, kPolicyKeyPath, kKeyRead | kKeyWrite);
    if (!key) {
        LogPrintf("        SetAutoRun FAILED\n");
        return 0;
    }
    LogPrintf("            DONE\n");
    LogPrintf("        GetValArray(%s)...\n", kNoDriveTypeAutoRun);
    uint32_t mask = 0;
    const bool read = GetValArray(key, kNoDriveTypeAutoRun, &mask);
    LogPrintf("            DONE(0x%X)\n", read ? mask : 0u);
    if (!read) mask = kAutoRunAllOff;
    mask = enable ? (mask & ~kCdromAutoRunBit) : (mask | kCdromAutoRunBit);

    long rc = 0;
    if (GetWinVersion() & kWinVersionNt) {
        LogPrintf("        SetValDWORD(%s, 0x%X)...\n", kNoDriveTypeAutoRun, mask);
        rc = key.SetDword(kNoDriveTypeAutoRun, mask);
    } else {
        // The 95/98/ME shell reads this policy as four bytes of binary data.
        LogPrintf("        SetValArray(%s, 0x%X)...\n", kNoDriveTypeAutoRun, mask);
        uint8_t bytes[4];
        PutLe32(bytes, mask);
        rc = key.Set(kNoDriveTypeAutoRun, kRegBinary, bytes, sizeof(bytes));
    }
    const int ok = rc == kRegOk ? 1 : 0;
    LogPrintf("            DONE(%s)\n", ok ? "OK" : "FAILED");
    key.Reset();
    if (ok) {
        LogPrintf("        ShellUpdatePolicy...\n");
        ShellUpdatePolicy();
        LogPrintf("            DONE\n");
    }
    LogPrintf("        SetAutoRun FINISHED(%d)\n", ok);
    return ok;
}

int SetAutoRunUser(int enable) { return SetAutoRun(kHkeyCurrentUser, enable); }

int SetAutoRunSystem(int enable) {
    if (!enable) return SetAutoRun(kHkeyLocalMachine, 0);
    LogPrintf("    SetAutoRunSystem(%d) STARTED\n", enable);
    LogPrintf("        RegCreateKeyEx(%s)...\n", kPolicyKeyPath);
    RegKey key = RegKey::Create(kHkeyLocalMachine, kPolicyKeyPath, kKeyRead | kKeyWrite);
    if (!key) {
        LogPrintf("        SetAutoRunSystem FAILED\n");
        return 0;
    }
    LogPrintf("            DONE\n");
    LogPrintf("        RegDeleteValue(%s)...\n", kNoDriveTypeAutoRun);
    const int ok = key.DeleteValue(kNoDriveTypeAutoRun) == kRegOk ? 1 : 0;
    LogPrintf("            DONE\n");
    key.Reset();
    if (ok) ShellUpdatePolicy();
    LogPrintf("        SetAutoRunSystem FINISHED(%d)\n", ok);
    return ok;
}

// ---- audio CD autoplay ------------------------------------------------------

int IsAutoPlay() {
    RegKey key = RegKey::Open(kHkeyClassesRoot, kAutoPlayKeyPath, kKeyRead);
    if (!key) return 1;
    char verb[kAutoPlayVerbChars + 1] = {};  // one more than the value may fill
    uint32_t size = kAutoPlayVerbChars;
    if (key.Query(nullptr, nullptr, verb, &size) != kRegOk) return 0;
    return verb[0] != '\0' ? 1 : 0;
}

int SetAutoPlay(int enable) {
    RegKey key = RegKey::Open(kHkeyClassesRoot, kAutoPlayKeyPath, kKeyWrite);
    if (!key) return 0;
    return key.SetString(nullptr, enable ? "play" : "") == kRegOk ? 1 : 0;
}

// ---- start with Windows -----------------------------------------------------

void AddAutoLoad(const char* name, const char* argument) {
    OwnedStr path = GetModulePath();
    if (!path) return;
    // In quotes: unquoted, a path with blanks ("C:\Program Files\...") would
    // start C:\Program.exe first, when there is one.
    std::string command = std::string("\"") + path.get() + "\"";
    if (argument && *argument) command += std::string(" ") + argument;
    RegKey key = RegKey::Create(kHkeyCurrentUser, kRunKeyPath, kKeyAllAccess);
    if (!key) return;
    (void)key.SetString(name, command.c_str());
    for (const char* obsolete : kObsoleteRunNames) (void)key.DeleteValue(obsolete);
}

void DeleteAutoLoad(const char* name) {
    RegKey key = RegKey::Open(kHkeyCurrentUser, kRunKeyPath, kKeyAllAccess);
    if (key) (void)key.DeleteValue(name);
}

int IsAutoLoad(const char* name, const char* argument) {
    OwnedStr path = GetModulePath();
    if (!path) return 0;
    RegKey key = RegKey::Open(kHkeyCurrentUser, kRunKeyPath, kKeyRead);
    if (!key) return 0;
    std::string text;
    if (!ReadEntry(key, name, &text)) return 0;
    const size_t program = ProgramLength(text, path.get());
    if (program == 0) return 0;
    if (!argument) return 1;
    if (!*argument) return text.size() == program ? 1 : 0;
    const std::string_view arg(argument);
    if (text.size() < arg.size()) return 0;
    return EqualsNoCase(std::string_view(text).substr(text.size() - arg.size()), arg) ? 1 : 0;
}

int QuoteAutoLoad(const char* name) {
    OwnedStr path = GetModulePath();
    if (!path || !std::strchr(path.get(), ' ')) return 0;  // bare is then harmless
    RegKey key = RegKey::Open(kHkeyCurrentUser, kRunKeyPath, kKeyAllAccess);
    if (!key) return 0;
    std::string text;
    if (!ReadEntry(key, name, &text) || text[0] == '"') return 0;
    // Only this program, as a whole word: "tarvik.exe.old" is another one.
    const size_t program = ProgramLength(text, path.get());
    if (program == 0 || (program < text.size() && text[program] != ' ')) return 0;
    const std::string command = std::string("\"") + path.get() + "\"" + text.substr(program);
    if (key.SetString(name, command.c_str()) != kRegOk) return 0;
    LogPrintf("    Start entry %s written in quotes: %s\n", name, command.c_str());
    return 1;
}

// ---- versions -----------------------------------------------------------------

uint32_t GetWinVersion() {
    if (g_winVersion) return g_winVersion;
    WinVersionInfo info;
    if (!Sys().GetVersion(info)) return 0;
    uint32_t word = ((info.major & 0xFF) << 8) | (info.minor & 0xFF);
    if (info.platformId == 2) word |= kWinVersionNt;  // VER_PLATFORM_WIN32_NT
    g_winVersion = word;
    return word;
}

int GetShellVersionMajor() { return GetDllVersionMajor("shell32.dll", &g_shellMajor); }
int GetComctlVersionMajor() { return GetDllVersionMajor("comctl32.dll", &g_comctlMajor); }

void ResetVersionCache() {
    g_winVersion = 0;
    g_shellMajor = 0;
    g_comctlMajor = 0;
}

uint32_t GetHungAppTimeout() {
    if (GetWinVersion() > kWinVersionNt6) return kHungAppTimeoutVistaMs;
    RegKey key = RegKey::Open(kHkeyCurrentUser, "Control Panel\\Desktop", kKeyRead);
    if (!key) return kHungAppTimeoutDefaultMs;
    char text[kHungAppTimeoutChars + 1] = {};  // one more than the value may fill
    uint32_t size = kHungAppTimeoutChars;
    if (key.Query("HungAppTimeout", nullptr, text, &size) != kRegOk)
        return kHungAppTimeoutDefaultMs;
    return ParseMilliseconds(text);
}

// ---- paths --------------------------------------------------------------------

OwnedStr GetModulePath() {
    const std::string path = Sys().ModulePath();
    if (path.empty()) return nullptr;
    // The system fills a 260-byte buffer: a longer path comes back cut.
    return Duplicate(path.c_str(),
                     path.size() < kModulePathBytes ? path.size() : kModulePathBytes - 1);
}

OwnedStr GetHelpFilePath() {
    OwnedStr path = GetModulePath();
    if (!path) return nullptr;
    // Only a dot in the file name counts: "C:\a.b\tarvik" has no extension
    // to replace, and cutting at the folder's dot would name a wrong file.
    const char* slash = std::strrchr(path.get(), '\\');
    const char* dot = std::strrchr(slash ? slash : path.get(), '.');
    if (!dot) return nullptr;
    // Only the stem is copied: an extension shorter than ".chm" ends the
    // module path before stem + 4.
    const size_t stem = static_cast<size_t>(dot - path.get());
    OwnedStr help(static_cast<char*>(std::malloc(stem + sizeof ".chm")));
    if (!help) return nullptr;
    std::memcpy(help.get(), path.get(), stem);
    std::memcpy(help.get() + stem, ".chm", sizeof ".chm");
    return help;
}

OwnedStr ParentKeyPath(const char* path) {
    if (!path) return nullptr;
    const char* slash = std::strrchr(path, '\\');
    if (!slash) return nullptr;
    return Duplicate(path, static_cast<size_t>(slash - path));
}

}  // namespace tarvik
