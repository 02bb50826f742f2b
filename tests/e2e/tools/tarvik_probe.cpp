// tarvik_probe: plays "the shell or the system" for the end-to-end tests. It
// finds the running instance's main window (class and title "Tarvik") and
// sends it what a second instance, the notification area or Windows would
// send, then prints what came back. Every wait is bounded.
//
//   tarvik_probe [--timeout MS] COMMAND [ARGS]
//
// Exit codes: 0 done (or the awaited state reached), 1 the awaited state was
// not reached in time / no window for "find" / no icon for "tray-icon", 2 no
// window to send to, 3 the send failed or timed out, 4 bad usage.
#include <windows.h>
// These need the types of <windows.h>.
#include <commctrl.h>
#include <dbt.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kTrayNotify = WM_USER + 1;
DWORD g_timeoutMs = 10000;

int Usage() {
    std::fputs(
        "usage: tarvik_probe [--timeout MS] COMMAND [ARGS]\n"
        "  find                        print the main window handle\n"
        "  wait-window MS | wait-gone MS\n"
        "  info                        pid, visibility, enabled state of the main window\n"
        "  windows                     every top-level window: handle pid visible class title\n"
        "  command ID [LPARAM]         WM_COMMAND, sent\n"
        "  post-command ID [LPARAM]    WM_COMMAND, posted\n"
        "  commands ID...              WM_COMMAND with each ID in turn (lParam 0), sent\n"
        "  close                       WM_CLOSE\n"
        "  devicechange EVENT UNITMASK [FLAGS]   EVENT: arrival, removecomplete or a number\n"
        "  devicechange-raw EVENT      WM_DEVICECHANGE with lParam 0\n"
        "  devicechange-size EVENT SIZE UNITMASK\n"
        "                              a media volume block whose dbch_size says SIZE\n"
        "  power EVENT                 WM_POWERBROADCAST: suspend, resumesuspend,\n"
        "                              resumeautomatic, resumecritical or a number\n"
        "  taskbarcreated              the registered \"TaskbarCreated\" message\n"
        "  hotkey ID                   WM_HOTKEY with wParam ID\n"
        "  hotkey-free MODS VK...      tries RegisterHotKey(MOD_* MODS, VK) here for each VK and\n"
        "                              releases it: one line \"VK free\" or \"VK taken\" each;\n"
        "                              exit 0 when all were free, 1 when someone holds one\n"
        "  queryendsession [LPARAM]    WM_QUERYENDSESSION\n"
        "  endsession ENDING [LPARAM]  WM_ENDSESSION\n"
        "  tray MOUSEMSG               the tray callback: lbuttondown, rbuttondown, ... or a "
        "number\n"
        "  send MSG WPARAM LPARAM      any message, numbers\n"
        "  run [--no-wait] EXE [CMDLINE]  start EXE with exactly CMDLINE after its name;\n"
        "                              prints pid=N, idle once it waits for input, then\n"
        "                              exit=N when it ends\n"
        "  tray-icon [ID]              whether the notification area holds icon ID (default 0)\n"
        "                              of the main window: prints held (exit 0) or none (1)\n"
        "  tray-remove [ID]            takes icon ID of the main window out of the notification\n"
        "                              area: prints held (exit 0, it was there) or none (1)\n"
        "  tray-time CLASS EXE [CMDLINE]  starts EXE, prints ms=T when its window of CLASS has\n"
        "                              its icon, closes it when idle and prints exit=N\n"
        "  processes                   image names of the running processes, one a line\n"
        "  kill NAME                   terminate every process whose image is NAME\n"
        "  dialog CAPTION [MS]         wait for a dialog (any process) captioned CAPTION\n"
        "                              (CAPTION and TEXT below: as they are, or x:HEX of UTF-8);\n"
        "                              prints hwnd= pid= rect=L,T,R,B client=L,T,R,B\n"
        "  dialog-gone CAPTION MS      wait until no dialog is captioned CAPTION\n"
        "  children CAPTION            its controls, one a line, tab-separated: id class\n"
        "                              L,T,R,B (screen) checked (-1: not a button) enabled\n"
        "                              visible text (UTF-8, \\n \\t \\\\ escaped)\n"
        "  set-text CAPTION ID TEXT    WM_SETTEXT on control ID (TEXT in UTF-8)\n"
        "  dpi-changed CAPTION DPI     WM_DPICHANGED as the system sends it when the dialog's\n"
        "                              monitor changes to DPI: the suggested rectangle (its\n"
        "                              size scaled) in the dialog's own process: result=N\n"
        "  click CAPTION ID            BM_CLICK on control ID, posted: what the click\n"
        "                              opens (a modal dialog) does not block the probe\n"
        "  rows CAPTION ID             the rows of list view ID: its two columns, tab-separated\n"
        "  item-send CAPTION ID MSG WPARAM  MSG to control ID (lParam 0), sent: result=N\n"
        "  workarea X Y                work area of the monitor nearest X,Y: L,T,R,B\n"
        "  tips                        the text of each tool tip on screen, one a line (escaped)\n"
        "  resources                   what the main window's process holds: gdi= (under Wine\n"
        "                              read from its GDI handle table) user=\n"
        "                              handles= windows= ws= (working set, bytes) peakws=;\n"
        "                              -1 when the system would not say\n",
        stderr);
    return 4;
}

bool ParseNumber(const char* text, unsigned long long& out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    out = std::strtoull(text, &end, 0);
    return end != nullptr && *end == '\0';
}

bool ParseNamed(const char* text, const std::pair<const char*, unsigned>* names, size_t count,
                unsigned long long& out) {
    for (size_t i = 0; i < count; ++i) {
        if (_stricmp(text, names[i].first) == 0) {
            out = names[i].second;
            return true;
        }
    }
    return ParseNumber(text, out);
}

HWND FindMain() { return FindWindowA("Tarvik", "Tarvik"); }

// Polls for the window to appear (want = true) or vanish; true when reached in time.
bool WaitFor(bool want, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if ((FindMain() != nullptr) == want) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(25);
    }
}

// Sends synchronously with a bound, as the shell does for broadcasts.
int Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = FindMain();
    if (hwnd == nullptr) {
        std::puts("no window");
        return 2;
    }
    DWORD_PTR result = 0;
    SetLastError(0);
    LRESULT ok = SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_NORMAL, g_timeoutMs, &result);
    if (ok == 0) {
        std::printf("send failed, error %lu\n", GetLastError());
        return 3;
    }
    std::printf("result=%lld\n", static_cast<long long>(result));
    return 0;
}

int Post(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = FindMain();
    if (hwnd == nullptr) {
        std::puts("no window");
        return 2;
    }
    if (!PostMessageA(hwnd, msg, wParam, lParam)) {
        std::printf("post failed, error %lu\n", GetLastError());
        return 3;
    }
    std::puts("posted");
    return 0;
}

BOOL CALLBACK PrintWindow(HWND hwnd, LPARAM) {
    char cls[128] = {};
    char title[256] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    std::printf("0x%llx %lu %d %s\t%s\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), pid,
                IsWindowVisible(hwnd) ? 1 : 0, cls, title);
    return TRUE;
}

int Info() {
    HWND hwnd = FindMain();
    if (hwnd == nullptr) {
        std::puts("no window");
        return 2;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    std::printf("hwnd=0x%llx pid=%lu visible=%d enabled=%d rect=%ld,%ld,%ld,%ld\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), pid,
                IsWindowVisible(hwnd) ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0, rc.left, rc.top,
                rc.right, rc.bottom);
    return 0;
}

int DeviceChange(const char* eventText, const char* maskText, const char* flagsText) {
    static const std::pair<const char*, unsigned> kEvents[] = {
        {"arrival", DBT_DEVICEARRIVAL},
        {"removecomplete", DBT_DEVICEREMOVECOMPLETE},
        {"queryremove", DBT_DEVICEQUERYREMOVE},
        {"removepending", DBT_DEVICEREMOVEPENDING},
    };
    unsigned long long event = 0, mask = 0, flags = DBTF_MEDIA;
    if (!ParseNamed(eventText, kEvents, std::size(kEvents), event) || !ParseNumber(maskText, mask))
        return Usage();
    if (flagsText != nullptr && !ParseNumber(flagsText, flags)) return Usage();
    // Wine copies the structure into the receiver only for a synchronous send.
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = static_cast<DWORD>(mask);
    volume.dbcv_flags = static_cast<WORD>(flags);
    return Send(WM_DEVICECHANGE, static_cast<WPARAM>(event), reinterpret_cast<LPARAM>(&volume));
}

// A volume block that claims to be SIZE bytes long while the buffer holds a
// whole, valid one: a receiver that reads past its own size sees a medium
// arrival. Wine copies only dbch_size bytes across processes.
int DeviceChangeSized(const char* eventText, const char* sizeText, const char* maskText) {
    unsigned long long event = 0, size = 0, mask = 0;
    if (!ParseNumber(eventText, event) || !ParseNumber(sizeText, size) ||
        !ParseNumber(maskText, mask) || size > sizeof(DEV_BROADCAST_VOLUME))
        return Usage();
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = static_cast<DWORD>(size);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = static_cast<DWORD>(mask);
    volume.dbcv_flags = DBTF_MEDIA;
    return Send(WM_DEVICECHANGE, static_cast<WPARAM>(event), reinterpret_cast<LPARAM>(&volume));
}

// Whether key combinations are free for this process: RegisterHotKey fails
// with ERROR_HOTKEY_ALREADY_REGISTERED while another window holds one. One
// line per key; exit 0 when every key was free.
int HotKeysFree(const char* modsText, char** keys, int count) {
    unsigned long long mods = 0;
    if (!ParseNumber(modsText, mods) || count < 1) return Usage();
    constexpr int kId = 0xBEEF;
    int taken = 0;
    for (int k = 0; k < count; ++k) {
        unsigned long long key = 0;
        if (!ParseNumber(keys[k], key)) return Usage();
        if (RegisterHotKey(nullptr, kId, static_cast<UINT>(mods), static_cast<UINT>(key))) {
            UnregisterHotKey(nullptr, kId);
            std::printf("0x%02llX free\n", key);
        } else {
            std::printf("0x%02llX taken, error %lu\n", key, GetLastError());
            ++taken;
        }
    }
    return taken ? 1 : 0;
}

// Starts EXE with the exact command line "EXE" CMDLINE. The Wine loader
// quotes arguments with spaces, so a command line such as "/hide " (trailing
// space) or "/log   /hide" can only be given this way.
int Run(bool wait, const char* exe, const char* cmdline) {
    std::string line = std::string("\"") + exe + "\"";
    if (cmdline != nullptr) line += std::string(" ") + cmdline;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("launch failed, error %lu\n", GetLastError());
        return 4;
    }
    CloseHandle(pi.hThread);
    std::printf("pid=%lu\n", pi.dwProcessId);
    if (!wait) {
        CloseHandle(pi.hProcess);
        return 0;
    }
    // The main window can be found while its creation still runs, and a message
    // sent then may be handled in the middle of the start-up. Idle means the
    // program has reached its message loop and waits there.
    if (WaitForInputIdle(pi.hProcess, INFINITE) == 0 &&
        WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
        std::puts("idle");
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    std::printf("exit=%lu\n", code);
    return static_cast<int>(code);
}

// A modify that changes nothing: the notification area accepts it only for an
// icon it holds, so the answer tells whether the program's icon is there, with
// no wait for the screen. Shell32 is looked up here so the probe links user32 only.
// remove: the icon taken out of the notification area behind the program's
// back, as a restarted shell loses it.
int TrayIcon(UINT id, bool remove = false) {
    HWND hwnd = FindMain();
    if (hwnd == nullptr) {
        std::puts("no window");
        return 2;
    }
    HMODULE shell = LoadLibraryA("shell32.dll");
    auto notify = shell ? reinterpret_cast<decltype(&Shell_NotifyIconW)>(
                              reinterpret_cast<void*>(GetProcAddress(shell, "Shell_NotifyIconW")))
                        : nullptr;
    if (notify == nullptr) {
        std::puts("no Shell_NotifyIconW");
        return 3;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = id;
    const bool held = notify(remove ? NIM_DELETE : NIM_MODIFY, &data) != FALSE;
    std::puts(held ? "held" : "none");
    return held ? 0 : 1;
}

// The start-to-icon time of a program: starts EXE with CMDLINE and polls until
// its window of class CLASS has icon 0 in the notification area (asked as
// tray-icon does), timed from just before CreateProcess. Then, once the
// program waits for input, closes it with WM_CLOSE. Prints ms=T and exit=N.
int TrayTime(const char* windowClass, const char* exe, const char* cmdline) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    auto notify = shell ? reinterpret_cast<decltype(&Shell_NotifyIconW)>(
                              reinterpret_cast<void*>(GetProcAddress(shell, "Shell_NotifyIconW")))
                        : nullptr;
    if (notify == nullptr) {
        std::puts("no Shell_NotifyIconW");
        return 3;
    }
    std::string line = std::string("\"") + exe + "\"";
    if (cmdline != nullptr) line += std::string(" ") + cmdline;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, started, shown;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(exe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("launch failed, error %lu\n", GetLastError());
        return 4;
    }
    CloseHandle(pi.hThread);
    HWND hwnd = nullptr;
    const DWORD deadline = GetTickCount() + g_timeoutMs;
    for (bool held = false; !held;) {
        if (hwnd == nullptr) {
            HWND found = FindWindowA(windowClass, nullptr);
            DWORD pid = 0;
            if (found != nullptr) GetWindowThreadProcessId(found, &pid);
            if (pid == pi.dwProcessId) hwnd = found;
        }
        if (hwnd != nullptr) {
            NOTIFYICONDATAW data{};
            data.cbSize = sizeof data;
            data.hWnd = hwnd;
            held = notify(NIM_MODIFY, &data) != FALSE;
        }
        if (held) break;
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
            std::puts("timeout");
            TerminateProcess(pi.hProcess, 1);
            CloseHandle(pi.hProcess);
            return 1;
        }
        Sleep(2);
    }
    QueryPerformanceCounter(&shown);
    std::printf("ms=%.1f\n", 1000.0 * static_cast<double>(shown.QuadPart - started.QuadPart) /
                                 static_cast<double>(frequency.QuadPart));
    WaitForInputIdle(pi.hProcess, g_timeoutMs);
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(pi.hProcess, g_timeoutMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    std::printf("exit=%lu\n", code);
    return ended ? 0 : 3;
}

int ListProcesses() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 3;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
        std::printf("%s\n", pe.szExeFile);
    CloseHandle(snap);
    return 0;
}

int KillAll(const char* image) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 3;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    int killed = 0;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
        if (_stricmp(pe.szExeFile, image) != 0) continue;
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
        if (h == nullptr) continue;
        if (TerminateProcess(h, 1)) {
            WaitForSingleObject(h, g_timeoutMs);
            ++killed;
        }
        CloseHandle(h);
    }
    CloseHandle(snap);
    std::printf("killed=%d\n", killed);
    return 0;
}

// ---- dialogs of any process, for the dialog tests ---------------------------

// Arguments as the wide command line has them: captions and texts may be
// beyond the ANSI code page.
std::wstring WideArg(int index) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring arg = args && index < count ? args[index] : L"";
    if (args) LocalFree(args);
    return arg;
}

// A caption or text argument: "x:" and the hex digits of its UTF-8 bytes
// (what the harness sends, whatever the locale), or the argument as it is.
std::wstring TextArg(int index) {
    const std::wstring arg = WideArg(index);
    if (arg.rfind(L"x:", 0) != 0) return arg;
    std::string bytes;
    for (std::size_t k = 2; k + 1 < arg.size(); k += 2)
        bytes.push_back(static_cast<char>(std::wcstoul(arg.substr(k, 2).c_str(), nullptr, 16)));
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string ToUtf8Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'\\')
            escaped += L"\\\\";
        else if (c == L'\n')
            escaped += L"\\n";
        else if (c == L'\r')
            escaped += L"\\r";
        else if (c == L'\t')
            escaped += L"\\t";
        else
            escaped += c;
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// Only a shown dialog counts: a dialog exists (hidden) while it is still
// being laid out, and its size and place are final only once it is shown.
HWND FindDialog(const std::wstring& caption) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", caption.c_str())) != nullptr;)
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

// Another process's control text: only a sent WM_GETTEXT crosses over.
std::wstring ControlText(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, g_timeoutMs, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, g_timeoutMs, &copied);
    text.resize(copied);
    return text;
}

BOOL CALLBACK PrintTip(HWND hwnd, LPARAM) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (IsWindowVisible(hwnd) && _wcsicmp(cls, L"tooltips_class32") == 0)
        std::printf("%s\n", ToUtf8Escaped(ControlText(hwnd)).c_str());
    return TRUE;
}

// The texts of the tool tips on screen (the notification area's among them).
int Tips() {
    EnumWindows(PrintTip, 0);
    return 0;
}

void PrintRect(const char* name, const RECT& r) {
    std::printf("%s=%ld,%ld,%ld,%ld", name, r.left, r.top, r.right, r.bottom);
}

int WaitDialog(const std::wstring& caption, DWORD ms, bool present) {
    const DWORD start = GetTickCount();
    HWND dialog;
    while (((dialog = FindDialog(caption)) != nullptr) != present) {
        if (GetTickCount() - start >= ms) {
            std::puts("timeout");
            return 1;
        }
        Sleep(25);
    }
    if (!present) {
        std::puts("gone");
        return 0;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    RECT window{}, client{};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf("hwnd=0x%llx pid=%lu ",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(dialog)), pid);
    PrintRect("rect", window);
    std::printf(" ");
    PrintRect("client", client);
    std::printf("\n");
    return 0;
}

int Children(const std::wstring& caption) {
    HWND dialog = FindDialog(caption);
    if (!dialog) {
        std::puts("no dialog");
        return 2;
    }
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[64] = {};
        GetClassNameA(c, cls, sizeof cls);
        RECT r{};
        GetWindowRect(c, &r);
        DWORD_PTR check = static_cast<DWORD_PTR>(-1);
        if (_stricmp(cls, "Button") == 0)
            SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_NORMAL, g_timeoutMs, &check);
        std::printf("%d\t%s\t%ld,%ld,%ld,%ld\t%d\t%d\t%d\t%s\n", GetDlgCtrlID(c), cls, r.left,
                    r.top, r.right, r.bottom, static_cast<int>(check), IsWindowEnabled(c) ? 1 : 0,
                    IsWindowVisible(c) ? 1 : 0, ToUtf8Escaped(ControlText(c)).c_str());
    }
    return 0;
}

int SetText(const std::wstring& caption, int id, const std::wstring& text) {
    HWND dialog = FindDialog(caption);
    HWND control = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (!control) {
        std::puts("no control");
        return 2;
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_NORMAL, g_timeoutMs, &result)) {
        std::printf("send failed, error %lu\n", GetLastError());
        return 3;
    }
    std::printf("result=%lld\n", static_cast<long long>(result));
    return 0;
}

// The suggested rectangle is a pointer, so it is written into the dialog's
// process, where the dialog reads it.
int DpiChanged(const std::wstring& caption, UINT dpi) {
    HWND dialog = FindDialog(caption);
    DWORD pid = 0;
    if (!dialog || !GetWindowThreadProcessId(dialog, &pid)) {
        std::puts("no dialog");
        return 2;
    }
    RECT r{};
    GetWindowRect(dialog, &r);
    // Not declared for the oldest target; every Wine has it.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    const auto forWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    const UINT from = forWindow ? forWindow(dialog) : 96;
    RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, dpi, from),
                   r.top + MulDiv(r.bottom - r.top, dpi, from)};
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* remote = process ? VirtualAllocEx(process, nullptr, sizeof(suggested),
                                            MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                           : nullptr;
    DWORD_PTR result = 0;
    const bool sent =
        remote && WriteProcessMemory(process, remote, &suggested, sizeof(suggested), nullptr) &&
        SendMessageTimeoutW(dialog, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                            reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, g_timeoutMs, &result);
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
    if (!sent) {
        std::printf("send failed, error %lu\n", GetLastError());
        return 3;
    }
    std::printf("result=%lld\n", static_cast<long long>(result));
    return 0;
}

int Click(const std::wstring& caption, int id) {
    HWND dialog = FindDialog(caption);
    HWND control = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (!control) {
        std::puts("no control");
        return 2;
    }
    if (!PostMessageW(control, BM_CLICK, 0, 0)) {
        std::printf("post failed, error %lu\n", GetLastError());
        return 3;
    }
    std::puts("posted");
    return 0;
}

// A list view keeps its texts in its own process: the item record and the
// text buffer are placed there for each read.
int Rows(const std::wstring& caption, int id) {
    HWND dialog = FindDialog(caption);
    HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
    DWORD pid = 0;
    if (!list || !GetWindowThreadProcessId(list, &pid)) {
        std::puts("no control");
        return 2;
    }
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    constexpr int kChars = 64;
    char* remote = process ? static_cast<char*>(VirtualAllocEx(
                                 process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t),
                                 MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
    if (!remote) {
        if (process) CloseHandle(process);
        std::printf("no memory in the process, error %lu\n", GetLastError());
        return 3;
    }
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, g_timeoutMs, &count);
    for (DWORD_PTR row = 0; row < count; ++row) {
        for (int column = 0; column < 2; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.cchTextMax = kChars;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            wchar_t text[kChars + 1] = {};
            DWORD_PTR copied = 0;
            if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
                SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote),
                                    SMTO_NORMAL, g_timeoutMs, &copied))
                ReadProcessMemory(process, remote + sizeof(LVITEMW), text, kChars * sizeof(wchar_t),
                                  nullptr);
            std::printf(column ? "\t%s\n" : "%s", ToUtf8Escaped(text).c_str());
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
}

int WorkArea(LONG x, LONG y) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint({x, y}, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return 3;
    PrintRect("work", info.rcWork);
    std::printf("\n");
    return 0;
}

}  // namespace

// Wine answers GetProcessHandleCount for another process with 0; the system's
// handle table (NtQuerySystemInformation, class 16) names each handle's owner.
long long HandlesInSystemTable(DWORD pid) {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                                   GetProcAddress(ntdll, "NtQuerySystemInformation")))
                             : nullptr;
    if (query == nullptr) return -1;
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::string buffer(1 << 16, '\0');
    for (int tries = 0; tries < 10; ++tries) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) return -1;
        ULONG count = 0;
        std::memcpy(&count, buffer.data(), sizeof count);
        // The entries follow the count at their own alignment.
        const size_t first = alignof(Entry) > sizeof(ULONG) ? alignof(Entry) : sizeof(ULONG);
        long long mine = 0;
        for (ULONG i = 0; i < count && first + (i + 1) * sizeof(Entry) <= buffer.size(); ++i) {
            Entry e;
            std::memcpy(&e, buffer.data() + first + i * sizeof(Entry), sizeof e);
            mine += e.ownerPid == pid;
        }
        return mine;
    }
    return -1;
}

// The GDI objects of a process as its own handle table holds them, for
// where GetGuiResources is a stub (Wine). Wine keeps the table in the
// process and points its PEB at it, 24 bytes an entry whatever the build,
// the object's type at byte 14 (0: a free entry). -1 when it cannot be read.
long long GdiObjectsInTable(HANDLE process) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                                   GetProcAddress(ntdll, "NtQueryInformationProcess")))
                             : nullptr;
    // Only Wine's layout is known here; elsewhere GetGuiResources answers.
    if (query == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return -1;
    struct BasicInformation {
        LONG exitStatus;
        BYTE* peb;
        ULONG_PTR affinity, priority, pid, parentPid;
    } basic{};
    if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, nullptr) != 0 ||
        basic.peb == nullptr)
        return -1;
    // PEB.GdiSharedHandleTable, at the same place in every Windows since NT 4.
    constexpr size_t kTableField = sizeof(void*) == 8 ? 0xF8 : 0x94;
    void* table = nullptr;
    if (!ReadProcessMemory(process, basic.peb + kTableField, &table, sizeof table, nullptr) ||
        table == nullptr)
        return -1;
    constexpr size_t kEntry = 24, kEntries = 0x10000, kTypeAt = 14;
    std::string chunk(kEntry * 4096, '\0');
    long long used = 0;
    for (size_t first = 0; first < kEntries; first += 4096) {
        SIZE_T got = 0;
        if (!ReadProcessMemory(process, static_cast<BYTE*>(table) + first * kEntry, chunk.data(),
                               chunk.size(), &got) ||
            got != chunk.size())
            return -1;
        for (size_t i = 0; i < 4096; ++i) used += chunk[i * kEntry + kTypeAt] != 0;
    }
    return used;
}

struct WindowCount {
    DWORD pid;
    long long count;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM lParam) {
    auto* wc = reinterpret_cast<WindowCount*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wc->count += pid == wc->pid;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM lParam) {
    CountChild(hwnd, lParam);
    EnumChildWindows(hwnd, CountChild, lParam);
    return TRUE;
}

// For the soak: a count that does not grow across hours of use is the point,
// so a value the system cannot give is printed as -1 rather than guessed.
int Resources() {
    HWND hwnd = FindMain();
    DWORD pid = 0;
    if (hwnd == nullptr || GetWindowThreadProcessId(hwnd, &pid) == 0) {
        std::puts("no window");
        return 2;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        std::printf("OpenProcess failed: %lu\n", GetLastError());
        return 3;
    }
    SetLastError(0);
    long long gdi = GetGuiResources(process, GR_GDIOBJECTS);
    if (gdi == 0 && GetLastError() != 0) gdi = GdiObjectsInTable(process);
    SetLastError(0);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    const bool userKnown = user != 0 || GetLastError() == 0;
    DWORD handles = 0;
    long long handleCount = GetProcessHandleCount(process, &handles) ? handles : -1;
    if (handleCount <= 0) handleCount = HandlesInSystemTable(pid);
    PROCESS_MEMORY_COUNTERS mem{};
    mem.cb = sizeof mem;
    const bool memKnown = GetProcessMemoryInfo(process, &mem, sizeof mem) != 0;
    CloseHandle(process);
    WindowCount windows{pid, 0};
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&windows));
    std::printf("pid=%lu gdi=%lld user=%lld handles=%lld windows=%lld ws=%lld peakws=%lld\n", pid,
                gdi, userKnown ? static_cast<long long>(user) : -1LL, handleCount, windows.count,
                memKnown ? static_cast<long long>(mem.WorkingSetSize) : -1LL,
                memKnown ? static_cast<long long>(mem.PeakWorkingSetSize) : -1LL);
    return 0;
}

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--timeout") == 0) {
        unsigned long long ms = 0;
        if (!ParseNumber(argv[i + 1], ms)) return Usage();
        g_timeoutMs = static_cast<DWORD>(ms);
        i += 2;
    }
    if (i >= argc) return Usage();
    const std::string cmd = argv[i];
    const int nargs = argc - i - 1;
    const char* a1 = nargs >= 1 ? argv[i + 1] : nullptr;
    const char* a2 = nargs >= 2 ? argv[i + 2] : nullptr;
    const char* a3 = nargs >= 3 ? argv[i + 3] : nullptr;
    unsigned long long n1 = 0, n2 = 0, n3 = 0;

    if (cmd == "find") {
        HWND hwnd = FindMain();
        if (hwnd == nullptr) {
            std::puts("none");
            return 1;
        }
        std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
        return 0;
    }
    if (cmd == "wait-window" || cmd == "wait-gone") {
        if (!ParseNumber(a1, n1)) return Usage();
        const bool reached = WaitFor(cmd == "wait-window", static_cast<DWORD>(n1));
        std::puts(reached ? "reached" : "timeout");
        return reached ? 0 : 1;
    }
    if (cmd == "info") return Info();
    if (cmd == "windows") {
        EnumWindows(PrintWindow, 0);
        return 0;
    }
    if (cmd == "command" || cmd == "post-command") {
        if (!ParseNumber(a1, n1) || (a2 != nullptr && !ParseNumber(a2, n2))) return Usage();
        return cmd == "command" ? Send(WM_COMMAND, n1, static_cast<LPARAM>(n2))
                                : Post(WM_COMMAND, n1, static_cast<LPARAM>(n2));
    }
    if (cmd == "commands") {
        // Many ids in one process: a sweep costs one start of the probe.
        if (nargs < 1) return Usage();
        for (int k = i + 1; k < argc; ++k) {
            if (!ParseNumber(argv[k], n1)) return Usage();
            if (const int rc = Send(WM_COMMAND, n1, 0); rc != 0) return rc;
        }
        return 0;
    }
    if (cmd == "close") return Send(WM_CLOSE, 0, 0);
    if (cmd == "devicechange") {
        if (nargs < 2) return Usage();
        return DeviceChange(a1, a2, a3);
    }
    if (cmd == "devicechange-raw") {
        if (!ParseNumber(a1, n1)) return Usage();
        return Send(WM_DEVICECHANGE, n1, 0);
    }
    if (cmd == "devicechange-size") {
        if (nargs < 3) return Usage();
        return DeviceChangeSized(a1, a2, a3);
    }
    if (cmd == "hotkey-free") {
        if (nargs < 2) return Usage();
        return HotKeysFree(a1, argv + i + 2, nargs - 1);
    }
    if (cmd == "power") {
        static const std::pair<const char*, unsigned> kPower[] = {
            {"suspend", PBT_APMSUSPEND},
            {"resumesuspend", PBT_APMRESUMESUSPEND},
            {"resumeautomatic", PBT_APMRESUMEAUTOMATIC},
            {"resumecritical", PBT_APMRESUMECRITICAL},
        };
        if (a1 == nullptr || !ParseNamed(a1, kPower, std::size(kPower), n1)) return Usage();
        return Send(WM_POWERBROADCAST, n1, 0);
    }
    if (cmd == "taskbarcreated") return Send(RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    if (cmd == "hotkey") {
        if (!ParseNumber(a1, n1)) return Usage();
        return Send(WM_HOTKEY, n1, 0);
    }
    if (cmd == "queryendsession") {
        if (a1 != nullptr && !ParseNumber(a1, n1)) return Usage();
        return Send(WM_QUERYENDSESSION, 0, static_cast<LPARAM>(n1));
    }
    if (cmd == "endsession") {
        if (!ParseNumber(a1, n1) || (a2 != nullptr && !ParseNumber(a2, n2))) return Usage();
        return Send(WM_ENDSESSION, n1, static_cast<LPARAM>(n2));
    }
    if (cmd == "tray") {
        static const std::pair<const char*, unsigned> kMouse[] = {
            {"lbuttondown", WM_LBUTTONDOWN}, {"lbuttonup", WM_LBUTTONUP},
            {"rbuttondown", WM_RBUTTONDOWN}, {"rbuttonup", WM_RBUTTONUP},
            {"mousemove", WM_MOUSEMOVE},     {"lbuttondblclk", WM_LBUTTONDBLCLK},
        };
        if (a1 == nullptr || !ParseNamed(a1, kMouse, std::size(kMouse), n1)) return Usage();
        // The tray posts its callback, so the probe does too.
        return Post(kTrayNotify, 0, static_cast<LPARAM>(n1));
    }
    if (cmd == "run") {
        const bool wait = !(a1 != nullptr && std::strcmp(a1, "--no-wait") == 0);
        const int base = wait ? i + 1 : i + 2;
        if (base >= argc) return Usage();
        return Run(wait, argv[base], base + 1 < argc ? argv[base + 1] : nullptr);
    }
    if (cmd == "tray-time") {
        if (nargs < 2) return Usage();
        return TrayTime(a1, a2, a3);
    }
    if (cmd == "tray-icon") {
        if (a1 != nullptr && !ParseNumber(a1, n1)) return Usage();
        return TrayIcon(static_cast<UINT>(n1));
    }
    if (cmd == "tray-remove") {
        if (a1 != nullptr && !ParseNumber(a1, n1)) return Usage();
        return TrayIcon(static_cast<UINT>(n1), true);
    }
    if (cmd == "processes") return ListProcesses();
    if (cmd == "kill") {
        if (a1 == nullptr) return Usage();
        return KillAll(a1);
    }
    if (cmd == "dialog" || cmd == "dialog-gone") {
        if (a1 == nullptr || (a2 != nullptr && !ParseNumber(a2, n2))) return Usage();
        return WaitDialog(TextArg(i + 1), a2 ? static_cast<DWORD>(n2) : 0, cmd == "dialog");
    }
    if (cmd == "children") {
        if (a1 == nullptr) return Usage();
        return Children(TextArg(i + 1));
    }
    if (cmd == "set-text") {
        if (nargs < 3 || !ParseNumber(a2, n2)) return Usage();
        return SetText(TextArg(i + 1), static_cast<int>(n2), TextArg(i + 3));
    }
    if (cmd == "dpi-changed") {
        if (!a1 || !ParseNumber(a2, n2) || n2 == 0 || n2 > 0xFFFF) return Usage();
        return DpiChanged(TextArg(i + 1), static_cast<UINT>(n2));
    }
    if (cmd == "click") {
        if (!a1 || !ParseNumber(a2, n2)) return Usage();
        return Click(TextArg(i + 1), static_cast<int>(n2));
    }
    if (cmd == "rows") {
        if (!a1 || !ParseNumber(a2, n2)) return Usage();
        return Rows(TextArg(i + 1), static_cast<int>(n2));
    }
    if (cmd == "item-send") {
        unsigned long long n4 = 0;
        if (nargs < 4 || !ParseNumber(a2, n2) || !ParseNumber(a3, n3) ||
            !ParseNumber(argv[i + 4], n4))
            return Usage();
        HWND dialog = FindDialog(TextArg(i + 1));
        HWND control = dialog ? GetDlgItem(dialog, static_cast<int>(n2)) : nullptr;
        if (!control) return std::puts("no control"), 2;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(control, static_cast<UINT>(n3), n4, 0, SMTO_NORMAL, g_timeoutMs,
                                 &result))
            return 3;
        std::printf("result=%llu\n", static_cast<unsigned long long>(result));
        return 0;
    }
    if (cmd == "workarea") {
        if (!ParseNumber(a1, n1) || !ParseNumber(a2, n2)) return Usage();
        return WorkArea(static_cast<LONG>(n1), static_cast<LONG>(n2));
    }
    if (cmd == "resources") return Resources();
    if (cmd == "tips") return Tips();
    if (cmd == "send") {
        if (!ParseNumber(a1, n1) || !ParseNumber(a2, n2) || !ParseNumber(a3, n3)) return Usage();
        return Send(static_cast<UINT>(n1), n2, static_cast<LPARAM>(n3));
    }
    return Usage();
}
