#pragma once
// Small text helpers shared by the settings and text code. Registry names
// compare without regard to case; only ASCII letters fold, as the ANSI paths
// we handle need no more.
#include <cstddef>
#include <string_view>

namespace tarvik {

constexpr char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// 00h..1Fh and 7Fh. Text a device reports (a drive's INQUIRY strings, its
// sysfs attributes) shows them as '?': a line break or an escape sequence in
// a drive's name would otherwise reach settings files, key names and terminals.
constexpr bool IsControlChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

// Shows the control characters of the field text[0..size) as '?', up to its
// first NUL: a NUL ends a field (drives pad with NULs as well as with blanks).
constexpr void MaskControlChars(char* text, size_t size) {
    for (size_t i = 0; i < size && text[i] != '\0'; ++i)
        if (IsControlChar(text[i])) text[i] = '?';
}

constexpr bool LessNoCase(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

// ANSI text is taken as Windows-1252. Its 80h..9Fh; the five holes map to
// themselves as the system does.
inline constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every Windows-1252 character is one UTF-16 unit.
constexpr char32_t AnsiToCodePoint(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return LessNoCase(a, b); }
};

}  // namespace tarvik
