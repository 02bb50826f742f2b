#pragma once
// Hexadecimal digits as .reg files, drive profiles and sense triples write them.
#include <cstdint>
#include <string_view>

namespace tarvik {

// 0..15 for a hex digit of either case, -1 for anything else.
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly two hex digits into *out; false (and *out untouched) otherwise.
constexpr bool ParseHexByte(std::string_view s, uint8_t* out) {
    if (s.size() != 2 || HexDigit(s[0]) < 0 || HexDigit(s[1]) < 0) return false;
    *out = static_cast<uint8_t>(HexDigit(s[0]) * 16 + HexDigit(s[1]));
    return true;
}

}  // namespace tarvik
