#include "ui/dialogs/drive_info_win32.h"

// These need windows.h first.
#include <richedit.h>
#include <winver.h>

#include <string>
#include <vector>

#include "platform/late_bound_win32.h"
#include "scsi/aspi_version.h"
#include "scsi/transport.h"
#include "string_ids.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/drive_info.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

enum : uint16_t { kTextFrame = 100, kText = 101, kButtonFrame = 102 };

intptr_t TextHandler(HWND dialog, uint16_t id, unsigned message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    const auto* text = static_cast<const std::u16string*>(DialogContext(dialog));
    if (!text) return FALSE;
    // The control's own limit (32K units) would cut a long list short.
    ::SendMessageW(::GetDlgItem(dialog, id), EM_EXLIMITTEXT, 0,
                   static_cast<LPARAM>(kDriveInfoTextLimit));
    const std::wstring wide(text->begin(), text->end());
    UiSetDlgItemText(dialog, id, wide.c_str());
    return FALSE;
}

// clang-format off
constexpr DialogItem kDriveInfoTable[] = {
    {&ctl::GroupColumn,   kTextFrame,   u"",     0,      0,            nullptr},
    {&ctl::RichText,      kText,        u"",     0,      kTextFrame,   TextHandler},
    {&ctl::GroupRow,      kButtonFrame, u"",     0,      0,            nullptr},
    {&ctl::DefaultButton, IDOK,         nullptr, IDS_OK, kButtonFrame, nullptr},
};
// clang-format on

}  // namespace

// The wide calls, so that a path outside the ANSI code page is found too.
std::vector<uint8_t> ReadVersionBlock(const std::string& path) {
    if (path.empty()) return {};
    const int units =
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    (void)::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                units);
    const auto sizeOf = late::GetFileVersionInfoSizeW();
    const auto read = late::GetFileVersionInfoW();
    if (!sizeOf || !read) return {};
    DWORD ignored = 0;
    const DWORD size = sizeOf(wide.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<uint8_t> block(size);
    if (!read(wide.c_str(), 0, size, block.data())) return {};
    return block;
}

AspiVersionInfo ReadAspiVersion() {
    AspiVersionInfo version;
    std::vector<uint8_t> block = ReadVersionBlock(GetAspiLibraryPath());
    if (!block.empty()) version.StoreVersionInfo(std::move(block));
    return version;
}

void ShowDriveInfo(HWND owner, std::span<const CdromDrive> drives) {
    // The copy kept when the library was loaded: reading it again here would
    // log its complaints at every opening.
    std::u16string text = DriveInfoText(CurrentDriveInfoSources(&LoadedAspiVersion()), drives);
    (void)RunDialog(owner, nullptr, IDS_MNU_DRIVE_INFO, WS_OVERLAPPEDWINDOW, WS_EX_APPWINDOW,
                    kDriveInfoTable, &text);
}

}  // namespace tarvik
