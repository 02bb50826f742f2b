#pragma once
// What tarvikctl prints goes through a Writer on a C stdio stream, not through
// iostreams: with a static runtime those bring every locale facet and stream
// class of the library into tarvikctl.exe (about 600 KB). A Writer prints as
// an ostream with its default flags does: integers in decimal, bool as 0 or
// 1, a char as itself. The error writer works as std::cerr does: it flushes
// the output first, so that a message follows the lines it is about, and
// itself after each write (a C runtime may buffer stderr when it is a pipe).
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace tarvik::ctl {

class Writer {
public:
    // With `output`: the error writer of that output.
    explicit Writer(std::FILE* stream, Writer* output = nullptr)
        : stream_(stream), output_(output) {}

    Writer& operator<<(std::string_view text) {
        if (output_) output_->Flush();
        (void)std::fwrite(text.data(), 1, text.size(), stream_);
        if (output_) Flush();
        return *this;
    }
    Writer& operator<<(const char* text) { return *this << std::string_view(text); }
    Writer& operator<<(char c) { return *this << std::string_view(&c, 1); }
    Writer& operator<<(bool b) { return *this << (b ? '1' : '0'); }
    // Characters of either signedness print as characters, as on an ostream.
    Writer& operator<<(signed char c) { return *this << static_cast<char>(c); }
    Writer& operator<<(unsigned char c) { return *this << static_cast<char>(c); }
    template <std::integral T>
    requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char>) Writer&
    operator<<(T value) {
        if constexpr (std::is_signed_v<T>) {
            if (value < 0) return Decimal(true, 0 - static_cast<uint64_t>(value));
        }
        return Decimal(false, static_cast<uint64_t>(value));
    }

    void Flush() { (void)std::fflush(stream_); }

private:
    Writer& Decimal(bool negative, uint64_t magnitude) {
        char digits[24];
        char* p = digits + sizeof digits;
        do {
            *--p = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (negative) *--p = '-';
        return *this << std::string_view(p, static_cast<size_t>(digits + sizeof digits - p));
    }

    std::FILE* stream_;
    Writer* output_;
};

}  // namespace tarvik::ctl
