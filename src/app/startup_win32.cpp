#include "app/startup_win32.h"

#include "app/command_line.h"
#include "app/window_win32.h"
#include "base/log.h"
#include "drive/all_drives.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "platform/handles_win32.h"
#include "scsi/aspi_version.h"
#include "scsi/transport.h"
#include "settings/shell.h"
#include "settings/store.h"
#include "ui/dialogs/drive_info_win32.h"
#include "ui/dialogs/message_box_win32.h"
#include "ui/text/strings.h"
#include "ui/text/text_api_win32.h"
#include "ui/tray/commands.h"
#include "ui/tray/tray_win32.h"

namespace tarvik {
namespace {

constexpr char kBuildBanner[] = " [build 2019-10-06 23:20:06]";
// Start-up errors: error, task-modal, OK only (0x2010).
constexpr UINT kStartupErrorFlags = MB_ICONERROR | MB_TASKMODAL | MB_OK;
constexpr ATOM kDialogClassAtom = 0x8002;

bool ScreenHasMoreThan256Colours() {
    const UniqueDc screen = WindowDc(nullptr);
    return ::GetDeviceCaps(screen.get(), BITSPIXEL) > 8;
}

// "/exit": apply the stored speeds once, with no window and no running instance
// consulted.
void RunOneShot() {
    (void)QuoteAutoLoad("Tarvik");  // as the tray program's start does
    LoadGlobalSettings();
    (void)SCSIInit(GlobalSettings.ApiPrefered);
    BuildDriveList();
    if (GlobalSettings.CloseOnRun) CloseAllTrays();
    RestoreSpeedOnEvent(kEventStart, 0);
    FreeDriveList();
}

// Every dialog uses the system dialog class, so giving that class the program
// icon gives it to all of them.
void SetDialogClassIcon(HINSTANCE instance) {
    const UniqueWindow probe(::CreateWindowExA(0, MAKEINTATOM(kDialogClassAtom), "", 0, 0, 0, 0, 0,
                                               nullptr, nullptr, instance, nullptr));
    if (!probe) return;
    ::SetClassLongPtrA(probe.get(), GCLP_HICON,
                       reinterpret_cast<LONG_PTR>(::LoadIconA(instance, "IconApp")));
}

void RunApplication(HINSTANCE instance, bool hide) {
    // Before the first window, menu, icon or dialog: they all go through it.
    UiTextApiInit();
    // And their texts: the stored choice, else the user's display language.
    char language[sizeof(GlobalSettings.Language)];
    ReadLanguageSetting(language, sizeof(language));
    const UiLanguage chosen = ChooseUiLanguage(language, SystemUiLanguageId());
    SetUiLanguage(AnsiCodePageCarries(chosen) ? chosen : UiLanguage::English);
    LogPrintf("UI language %s\n", UiLanguageCode(CurrentUiLanguage()));
    StartOptions.hidden = hide ? 1 : 0;
    StartOptions.xpIcons = GetShellVersionMajor() > 5 && ScreenHasMoreThan256Colours();
    TaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, "IconApp");
    windowClass.lpszClassName = kWindowClassName;
    if (!::RegisterClassA(&windowClass)) {
        MessageBoxRes(nullptr, IDS_CANT_REGISTER_CLASS, kStartupErrorFlags);
        return;
    }
    // Never shown: no style, no size. Its creation runs the whole start-up.
    HWND window = ::CreateWindowExA(0, kWindowClassName, kWindowClassName, 0, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr);
    if (!window) {
        MessageBoxRes(nullptr, IDS_CANT_CREATE_WINDOW, kStartupErrorFlags);
        return;
    }
    SetDialogClassIcon(instance);

    // No TranslateMessage and no dialog filtering: modal dialogs run their own loops.
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) == 1) ::DispatchMessageA(&msg);
    LogPrintf("Message loop terminated\n");
    ReleaseMainWindow();
}

}  // namespace

int TarvikMain(HINSTANCE instance, const char* commandLine) {
    const CommandLine parsed = ParseCommandLine(commandLine);
    if (parsed.log) (void)LogOpen(nullptr, nullptr);
    // Before the first SCSIInit: the ASPI library's version is kept as it loads.
    KeepAspiVersionOnLoad(ReadVersionBlock);

    if (parsed.request == StartRequest::Exit) {
        LogPrintf("Setting speed and exiting...\n");
        RunOneShot();
        return 0;
    }
    const bool hide = parsed.request == StartRequest::Hide;
    const bool restart = parsed.request == StartRequest::Restart;

    if (HWND running = ::FindWindowA(kWindowClassName, kWindowClassName)) {
        LogPrintf("Another instance of %s found\n", kWindowClassName);
        const unsigned handle = static_cast<unsigned>(reinterpret_cast<uintptr_t>(running));
        if (hide) {
            LogPrintf("Sending HIDE to 0x%x\n", handle);
            ::SendMessageA(running, WM_COMMAND, CMD_HIDE, 0);
            return 0;
        }
        if (!restart) {
            LogPrintf("Sending SHOW to 0x%x\n", handle);
            ::SendMessageA(running, WM_COMMAND, CMD_SHOW, 0);
            return 0;
        }
        LogPrintf("Sending CLOSE to 0x%x\n", handle);
        ::SendMessageA(running, WM_CLOSE, 0, 0);
    } else {
        LogPrintf("First instance of %s%s started\n", kWindowClassName, kBuildBanner);
    }
    // A restart always comes up with the icon shown.
    RunApplication(instance, hide && !restart);
    return 0;
}

}  // namespace tarvik
