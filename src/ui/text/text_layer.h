#pragma once
// The portable half of the text layer: bounded builders of wide (UTF-16)
// strings, the program's string blocks read without the system's loader,
// and where a text may be cut without splitting a character. The system
// calls and the ANSI/Unicode switch are in text_api_win32.
//
// The builders work on any 16-bit unit (wchar_t on Windows, char16_t here).
// Each writes at `dst` but never at or past `end`, leaves the text
// NUL-terminated and returns the terminating NUL, so calls chain:
//     p = WStrCopy(p, end, title); p = WStrAppendNumber(p, end, 8);
// A destination with no room at all (dst >= end) is left untouched.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarvik {

// How many of the `n` units at `src` fit in `room` units without splitting a
// surrogate pair.
template <class Unit>
std::size_t Utf16PrefixLength(const Unit* src, std::size_t n, std::size_t room) {
    std::size_t take = n < room ? n : room;
    if (take < n && take > 0) {
        const auto last = static_cast<uint16_t>(src[take - 1]);
        if (last >= 0xD800 && last <= 0xDBFF) --take;  // a high surrogate without its partner
    }
    return take;
}

// Appends `n` units from `src` (any 16-bit unit type); what does not fit is
// cut at a character boundary.
template <class Unit, class Src>
Unit* WStrAppendUnits(Unit* dst, const Unit* end, const Src* src, std::size_t n) {
    static_assert(sizeof(Unit) == 2 && sizeof(Src) == 2);
    if (dst >= end) return dst;
    const std::size_t room = static_cast<std::size_t>(end - dst) - 1;
    const std::size_t take = Utf16PrefixLength(src, n, room);
    for (std::size_t i = 0; i < take; ++i) dst[i] = static_cast<Unit>(src[i]);
    dst[take] = 0;
    return dst + take;
}

template <class Unit>
Unit* WStrAppend(Unit* dst, const Unit* end, std::basic_string_view<Unit> text) {
    return WStrAppendUnits(dst, end, text.data(), text.size());
}

// Copies `src` with its NUL.
template <class Unit>
Unit* WStrCopy(Unit* dst, const Unit* end, const Unit* src) {
    return WStrAppend(dst, end, std::basic_string_view<Unit>(src));
}

// Decimal digits of `value`, no sign, separators or leading zeros (0 gives
// "0"). A number is never cut: when its digits do not all fit, none are
// written.
template <class Unit>
Unit* WStrAppendNumber(Unit* dst, const Unit* end, uint32_t value) {
    if (dst >= end) return dst;
    std::size_t digits = 1;
    for (uint32_t rest = value / 10; rest; rest /= 10) ++digits;
    if (digits > static_cast<std::size_t>(end - dst) - 1) {
        *dst = 0;
        return dst;
    }
    dst[digits] = 0;
    for (std::size_t i = digits; i-- > 0; value /= 10)
        dst[i] = static_cast<Unit>(u'0' + value % 10);
    return dst + digits;
}

template <class Unit>
Unit* WStrAppendCrLf(Unit* dst, const Unit* end) {
    static constexpr char16_t kCrLf[] = u"\r\n";
    if (end - dst < 3) {  // both or neither
        if (dst < end) *dst = 0;
        return dst;
    }
    return WStrAppendUnits(dst, end, kCrLf, 2);
}

// String `id` of a string block: the block holds 16 entries, each a 16-bit
// count and that many UTF-16 units, and string id is entry id & 15. Nothing
// when the block ends before the entry does (a count of 0 is an empty string,
// not a miss).
std::optional<std::span<const uint16_t>> FindResString(std::span<const uint16_t> block,
                                                       unsigned id);

// Copies a string found by FindResString into `buffer`: at most
// capacity - 1 units, NUL-terminated; the number of units copied. With a
// null buffer, the string's full length (to size an allocation of length +
// 1). 0 for a missing string (an empty text when there is room for one), and
// 0 with nothing written when the capacity is 0.
template <class Unit>
int CopyResString(const std::optional<std::span<const uint16_t>>& text, Unit* buffer,
                  std::size_t capacity) {
    if (buffer == nullptr) return text ? static_cast<int>(text->size()) : 0;
    if (capacity == 0) return 0;
    if (!text) {
        buffer[0] = 0;
        return 0;
    }
    const Unit* end = WStrAppendUnits(buffer, buffer + capacity, text->data(), text->size());
    return static_cast<int>(end - buffer);
}

// String `id` of `block` into `buffer`, as CopyResString.
template <class Unit>
int LoadResString(std::span<const uint16_t> block, unsigned id, Unit* buffer,
                  std::size_t capacity) {
    return CopyResString(FindResString(block, id), buffer, capacity);
}

// The longest prefix of `ansi`, at most `maxBytes` long, that ends on a
// character boundary of a code page whose lead bytes `isLeadByte` names: a
// double-byte character is never cut in half, and a lead byte whose second
// byte is missing (a text cut by someone else) is left out.
std::size_t AnsiPrefixLength(std::string_view ansi, std::size_t maxBytes,
                             bool (*isLeadByte)(unsigned char));

}  // namespace tarvik
