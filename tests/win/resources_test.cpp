// The resources of the real tarvik.exe, read through the system's own loaders:
// the string table holds exactly the host copy, every icon the program loads
// by name is there in both forms and in every tray size, the menu bitmaps are
// monochrome, and the manifest asks for what the program needs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "ui/text/strings.h"

namespace tarvik {
namespace {

// tarvik.exe is built into the same folder as this test program.
std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"tarvik.exe";
}

class ProgramResources : public testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr)
            << "cannot load tarvik.exe next to the test program, error " << GetLastError();
    }

    // The raw data of one resource, or an empty span.
    static std::span<const BYTE> Data(LPCSTR type, LPCSTR name,
                                      WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) {
        HRSRC found = FindResourceExA(module_, type, name, language);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes) return {};
        return {static_cast<const BYTE*>(bytes), SizeofResource(module_, found)};
    }

    static HMODULE module_;
};
HMODULE ProgramResources::module_ = nullptr;

std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// ---- strings ----------------------------------------------------------------

TEST_F(ProgramResources, LoadStringFindsTheHostTexts) {
    for (const ResStringEntry& e : ResStringTable()) {
        SCOPED_TRACE(e.name);
        wchar_t buffer[512] = {};
        const int n = LoadStringW(module_, e.id, buffer, 512);
        EXPECT_EQ(std::wstring(buffer, n > 0 ? n : 0), Wide(e.text));
    }
}

TEST_F(ProgramResources, FreeIdsAreNotInTheTable) {
    for (unsigned id : {0u, 172u, 175u, 176u, 1000u}) {
        wchar_t buffer[16] = {L'#', 0};
        EXPECT_EQ(LoadStringW(module_, id, buffer, 16), 0) << id;
    }
}

TEST_F(ProgramResources, StringBlocksAreByteForByteTheHostLayoutInTheNeutralLanguage) {
    // The program reads blocks itself (16-bit counts and UTF-16 units), in
    // language 0; so the blocks must exist there and match the host copy.
    for (unsigned block = 0; block < 16; ++block) {
        SCOPED_TRACE(block);
        const std::vector<uint16_t> expected = BuildResStringBlock(block);
        const auto data = Data(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(block + 1));
        if (expected.empty()) {
            EXPECT_TRUE(data.empty());
            continue;
        }
        ASSERT_GE(data.size(), expected.size() * 2);
        EXPECT_EQ(std::memcmp(data.data(), expected.data(), expected.size() * 2), 0);
        // Anything after the 16 entries is padding.
        for (std::size_t i = expected.size() * 2; i < data.size(); ++i) EXPECT_EQ(data[i], 0);
    }
}

TEST_F(ProgramResources, NonAsciiAndEscapedTextsSurviveTheResourceCompiler) {
    wchar_t buffer[256] = {};
    ASSERT_GT(LoadStringW(module_, IDS_ABOUT_NOTICE_START, buffer, 256), 0);
    EXPECT_NE(std::wstring(buffer).find(L'\u00A9'), std::wstring::npos);
    ASSERT_GT(LoadStringW(module_, IDS_OPT_CMD_BROWSE, buffer, 256), 0);
    EXPECT_STREQ(buffer, L"Show \"Browse\" command");
    ASSERT_GT(LoadStringW(module_, IDS_DRV_LIST_COLUMNS, buffer, 256), 0);
    EXPECT_STREQ(buffer, L"Speed\tCommand");
    ASSERT_GT(LoadStringW(module_, IDS_DETECTION_FAILED, buffer, 256), 0);
    EXPECT_EQ(std::wstring(buffer).find(L"failed.\n\nPlease"), 16u);
}

// ---- icons ------------------------------------------------------------------

struct IconForm {
    const char* name;
    WORD bits;  // colour depth of every image in the group
};

// The six rows of the tray icon table, classic then XP, and the two others.
constexpr IconForm kTrayIcons[] = {
    {"IconTask16", 4},       {"IconTask16Red", 4},   {"IconTask16Green", 4}, {"IconQuestion16", 4},
    {"IconWait16", 4},       {"IconError16", 4},     {"IconTaskXP", 32},     {"IconTaskXPRed", 32},
    {"IconTaskXPGreen", 32}, {"IconQuestionXP", 32}, {"IconWaitXP", 32},     {"IconErrorXP", 32},
};
constexpr int kTraySizes[] = {16, 20, 24, 32};

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupEntry) == 14);

struct IconImage {
    int size;
    WORD bits;
    std::span<const BYTE> dib;
};

// The images of an icon group, as its directory and its RT_ICON entries say.
std::vector<IconImage> GroupImages(std::span<const BYTE> group,
                                   std::span<const BYTE> (*icon)(WORD id)) {
    std::vector<IconImage> images;
    if (group.size() < 6) return images;
    WORD count;
    std::memcpy(&count, group.data() + 4, 2);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupEntry) <= group.size(); ++i) {
        GroupEntry e;
        std::memcpy(&e, group.data() + 6 + i * sizeof(GroupEntry), sizeof e);
        images.push_back({e.width ? e.width : 256, e.bits, icon(e.id)});
    }
    return images;
}

// The 64-bit exe (Windows 7 on) stores its 32-bit images PNG-compressed; the
// 32-bit one must run on Windows XP, which reads only the DIB form.
#ifdef _WIN64
constexpr bool kPngImages = true;
#else
constexpr bool kPngImages = false;
#endif

bool IsPng(std::span<const BYTE> image) {
    static constexpr BYTE kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return image.size() >= 33 && std::memcmp(image.data(), kSignature, 8) == 0;
}

DWORD Be32(const BYTE* p) { return DWORD(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// What the image's own header says: its side, its depth (32 for 8-bit RGBA
// PNG) and, for a DIB, whether the height counts colour and mask.
struct ImageHeader {
    int width = 0, height = 0;
    WORD bits = 0;
};
ImageHeader ReadHeader(std::span<const BYTE> image) {
    ImageHeader h;
    if (IsPng(image)) {
        // IHDR: width, height, bit depth 8 and colour type 6 (RGBA).
        h.width = int(Be32(image.data() + 16));
        h.height = int(Be32(image.data() + 20)) * 2;  // as a DIB counts it
        h.bits = image[24] == 8 && image[25] == 6 ? 32 : 0;
    } else if (image.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER b;
        std::memcpy(&b, image.data(), sizeof b);
        h = {b.biWidth, b.biHeight, b.biBitCount};
    }
    return h;
}

// The colour pixels (BGRA, bottom-up) of a 32-bit image as the system decodes
// it; so a PNG image is checked through the system's own reader.
std::vector<BYTE> SystemPixels(std::span<const BYTE> image, int size) {
    std::vector<BYTE> pixels;
    HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()), DWORD(image.size()),
                                          TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
    if (!icon) return pixels;
    ICONINFO info = {};
    if (GetIconInfo(icon, &info) && info.hbmColor) {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = size;
        bmi.bmiHeader.biHeight = size;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        pixels.resize(std::size_t(size) * size * 4);
        HDC dc = GetDC(nullptr);
        if (GetDIBits(dc, info.hbmColor, 0, size, pixels.data(), &bmi, DIB_RGB_COLORS) != size)
            pixels.clear();
        ReleaseDC(nullptr, dc);
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    return pixels;
}

class ProgramIcons : public ProgramResources {
protected:
    static std::span<const BYTE> Icon(WORD id) {
        return Data(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(id));
    }
    static std::vector<IconImage> Images(const char* name) {
        return GroupImages(Data(MAKEINTRESOURCEA(14), name), &Icon);
    }
};

TEST_F(ProgramIcons, EveryTrayRowHasEverySizeInItsOwnForm) {
    for (const IconForm& form : kTrayIcons) {
        SCOPED_TRACE(form.name);
        const std::vector<IconImage> images = Images(form.name);
        ASSERT_EQ(images.size(), std::size(kTraySizes));
        for (std::size_t i = 0; i < images.size(); ++i) {
            const IconImage& image = images[i];
            EXPECT_EQ(image.size, kTraySizes[i]);
            EXPECT_EQ(image.bits, form.bits);
            // The image itself must say the same as the directory.
            ASSERT_GE(image.dib.size(), sizeof(BITMAPINFOHEADER));
            const ImageHeader h = ReadHeader(image.dib);
            EXPECT_EQ(h.width, image.size);
            EXPECT_EQ(h.height, image.size * 2);  // colour and mask
            EXPECT_EQ(h.bits, form.bits);
            // PNG only where every supported Windows reads it, and there for
            // every 32-bit image; 16-colour ones stay DIBs everywhere.
            EXPECT_EQ(IsPng(image.dib), kPngImages && form.bits == 32);
        }
    }
}

TEST_F(ProgramIcons, XpImagesAreSmoothedWithAlphaAndClassicOnesUseSixteenColours) {
    for (const IconForm& form : kTrayIcons) {
        SCOPED_TRACE(form.name);
        for (const IconImage& image : Images(form.name)) {
            BITMAPINFOHEADER h = {};
            ASSERT_GE(image.dib.size(), sizeof h);
            if (!IsPng(image.dib)) std::memcpy(&h, image.dib.data(), sizeof h);
            if (form.bits == 32) {
                int clear = 0, partial = 0, opaque = 0;
                const std::size_t count = std::size_t(image.size) * image.size;
                const std::vector<BYTE> decoded =
                    IsPng(image.dib) ? SystemPixels(image.dib, image.size) : std::vector<BYTE>();
                const BYTE* pixels =
                    IsPng(image.dib) ? decoded.data() : image.dib.data() + h.biSize;
                ASSERT_GE(IsPng(image.dib) ? decoded.size() : image.dib.size(),
                          (IsPng(image.dib) ? 0 : h.biSize) + count * 4);
                for (std::size_t p = 0; p < count; ++p) {
                    const BYTE a = pixels[p * 4 + 3];
                    (a == 0 ? clear : a == 255 ? opaque : partial)++;
                }
                EXPECT_GT(clear, 0);           // a round picture leaves corners free
                EXPECT_GT(partial, 0);         // anti-aliased edges
                EXPECT_GT(opaque, count / 8);  // a picture, not a faint trace
            } else {
                EXPECT_TRUE(h.biClrUsed == 0 || h.biClrUsed == 16);
            }
        }
    }
}

TEST_F(ProgramIcons, LoadImageFindsEveryRowByNameInEverySize) {
    for (const IconForm& form : kTrayIcons) {
        for (int size : kTraySizes) {
            SCOPED_TRACE(testing::Message() << form.name << " " << size);
            HICON icon = static_cast<HICON>(
                LoadImageA(module_, form.name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
            ASSERT_NE(icon, nullptr) << GetLastError();
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP mask = {};
            GetObjectA(info.hbmMask, sizeof mask, &mask);
            EXPECT_EQ(mask.bmWidth, size);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
        // The program's own call: no size given.
        HANDLE icon = LoadImageA(module_, form.name, IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << form.name;
        if (icon) DestroyIcon(static_cast<HICON>(icon));
    }
}

TEST_F(ProgramIcons, ProgramAndLogoKeyIconsHaveBothForms) {
    for (const char* name : {"IconApp", "IconWinLogo"}) {
        SCOPED_TRACE(name);
        bool deep16 = false, classic16 = false, deep32 = false;
        for (const IconImage& image : Images(name)) {
            deep16 = deep16 || (image.size == 16 && image.bits == 32);
            classic16 = classic16 || (image.size == 16 && image.bits == 4);
            deep32 = deep32 || (image.size == 32 && image.bits == 32);
        }
        EXPECT_TRUE(deep16 && classic16 && deep32);
        HICON icon = static_cast<HICON>(LoadImageA(module_, name, IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr);
        if (icon) DestroyIcon(icon);
    }
}

// ---- menu bitmaps -----------------------------------------------------------

TEST_F(ProgramResources, LoadBitmapFindsTheThreeMenuBitmapsAtCheckMarkSize) {
    for (const char* name : {"BitmapCSpeed", "BitmapEject", "BitmapClose"}) {
        SCOPED_TRACE(name);
        HBITMAP bitmap = LoadBitmapA(module_, name);
        ASSERT_NE(bitmap, nullptr) << GetLastError();
        BITMAP info = {};
        ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
        EXPECT_EQ(info.bmWidth, 13);
        EXPECT_EQ(info.bmHeight, 13);
        // Monochrome: menus paint it in their text and highlight colours.
        EXPECT_EQ(info.bmBitsPixel, 1);
        DeleteObject(bitmap);
    }
}

// ---- manifest ---------------------------------------------------------------

TEST_F(ProgramResources, ManifestAsksForCommonControlsSixPerMonitorDpiAndNoElevation) {
    const auto data = Data(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    ASSERT_FALSE(data.empty());
    const std::string manifest(reinterpret_cast<const char*>(data.data()), data.size());
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
          ">true</dpiAware>", ">PerMonitorV2, system</dpiAwareness>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace tarvik
