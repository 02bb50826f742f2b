// The text layer's system side: the string table read from the module
// itself, the structure sizes each build hands to the system, and the ANSI
// forms giving the same answers as the wide ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/system.h"
#include "ui/text/strings.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

TEST(ResStrings, ReadFromTheModulesOwnBlocks) {
    // This test program carries the program's resources.
    const auto found = FindResString(nullptr, 17, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::wstring(found->begin(), found->end()), L"Autorun");
    EXPECT_EQ(ResText(9999), L"");

    const UINT id = IDS_SCAN_FAST;  // "Fast scan"
    EXPECT_EQ(LoadResString(nullptr, id, nullptr, 0, 0), 9);
    wchar_t buffer[8];
    for (wchar_t& c : buffer) c = L'#';
    EXPECT_EQ(LoadResString(nullptr, id, buffer, 5, 0), 4);
    EXPECT_STREQ(buffer, L"Fast");
    EXPECT_EQ(buffer[5], L'#');
    buffer[0] = L'#';
    EXPECT_EQ(LoadResString(nullptr, id, buffer, 0, 0), 0);
    EXPECT_EQ(buffer[0], L'#');
}

TEST(TextApi, StructureSizesAreTheBuildsOwn) {
    EXPECT_EQ(kNonClientMetricsSizeW, 500u);  // no pointers: the same in both builds
    EXPECT_EQ(kNonClientMetricsSizeA, 340u);
    EXPECT_EQ(sizeof(MONITORINFO), 40u);
#ifndef _WIN64
    EXPECT_EQ(kNotifyIconDataSizeA, 504u);
    EXPECT_EQ(sizeof(MENUITEMINFOA), 48u);
#endif
}

class VersionSystem final : public System {
public:
    explicit VersionSystem(uint32_t platform) : platform_(platform) {}
    bool GetVersion(WinVersionInfo& out) override {
        out = {4, 10, 2222, platform_};
        return true;
    }

private:
    uint32_t platform_;
};

class FailingVersion final : public System {};  // GetVersionExA fails

// Runs `body` with the text layer chosen for a system that reports `system`.
template <class Body>
void With(System& system, Body body) {
    SetSystem(&system);
    UiTextApiInit();
    body();
    SetSystem(nullptr);
    UiTextApiInit();
}

TEST(TextApi, TheFormsFollowThePlatformAndAnUnknownVersionCountsAsOld) {
    VersionSystem nt(2), old(1);
    FailingVersion unknown;
    With(nt, [] { EXPECT_EQ(UiIsUnicode(), 1); });
    With(old, [] { EXPECT_EQ(UiIsUnicode(), 0); });
    With(unknown, [] { EXPECT_EQ(UiIsUnicode(), 0); });
    EXPECT_EQ(UiIsUnicode(), 1);  // the real system under Wine is of the NT family
}

TEST(TextApi, NonClientMetricsAreTheSameThroughTheAnsiForm) {
    NONCLIENTMETRICSW wide{}, ansi{};
    ASSERT_TRUE(UiGetNonClientMetrics(&wide));
    VersionSystem old(1);
    With(old, [&] { ASSERT_TRUE(UiGetNonClientMetrics(&ansi)); });
    EXPECT_EQ(ansi.cbSize, wide.cbSize);
    EXPECT_EQ(ansi.iScrollWidth, wide.iScrollWidth);
    EXPECT_EQ(ansi.iScrollHeight, wide.iScrollHeight);
    EXPECT_EQ(ansi.lfMessageFont.lfHeight, wide.lfMessageFont.lfHeight);
    EXPECT_EQ(ansi.lfMessageFont.lfWeight, wide.lfMessageFont.lfWeight);
    EXPECT_STREQ(ansi.lfMessageFont.lfFaceName, wide.lfMessageFont.lfFaceName);
    EXPECT_STREQ(ansi.lfCaptionFont.lfFaceName, wide.lfCaptionFont.lfFaceName);
    EXPECT_GT(std::wcslen(ansi.lfMessageFont.lfFaceName), 0u);
}

TEST(TextApi, MenuItemsThroughTheAnsiFormKeepTextsAndBitmaps) {
    VersionSystem old(1);
    With(old, [] {
        HMENU menu = CreatePopupMenu();
        ASSERT_NE(menu, nullptr);
        MENUITEMINFOW text{};
        text.cbSize = sizeof(text);
        text.fMask = MIIM_ID | MIIM_STRING;
        text.wID = 109;
        text.dwTypeData = const_cast<wchar_t*>(L"Exit");
        EXPECT_TRUE(UiInsertMenuItem(menu, 0, TRUE, &text));
        // A bitmap item's dwTypeData is a handle, not text: passed on as it is.
        HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
        MENUITEMINFOW picture{};
        picture.cbSize = sizeof(picture);
        picture.fMask = MIIM_ID | MIIM_TYPE;
        picture.fType = MFT_BITMAP;
        picture.wID = 110;
        picture.dwTypeData = reinterpret_cast<LPWSTR>(bitmap);
        EXPECT_TRUE(UiInsertMenuItem(menu, 1, TRUE, &picture));

        wchar_t read[16] = {};
        EXPECT_EQ(GetMenuStringW(menu, 109, read, 16, MF_BYCOMMAND), 4);
        EXPECT_STREQ(read, L"Exit");
        MENUITEMINFOW back{};
        back.cbSize = sizeof(back);
        back.fMask = MIIM_TYPE;
        ASSERT_TRUE(GetMenuItemInfoW(menu, 110, FALSE, &back));
        EXPECT_TRUE(back.fType & MFT_BITMAP);
        // The system keeps a bitmap item's handle in the low word.
        EXPECT_EQ(LOWORD(reinterpret_cast<UINT_PTR>(back.dwTypeData)),
                  LOWORD(reinterpret_cast<UINT_PTR>(bitmap)));
        DestroyMenu(menu);
        DeleteObject(bitmap);
    });
}

}  // namespace
}  // namespace tarvik
