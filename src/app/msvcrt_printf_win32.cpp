// Both exes (tarvik.exe and tarvikctl.exe) format only %s, %c, %d, %u, %lu,
// %x and %X (with widths and zero fill; never %zu or %ll, which the msvcrt.dll
// of older Windows does not know), and the system's msvcrt.dll formats those
// exactly as MinGW's own C99 printf does. That one, which the C++ headers
// always choose, adds its float and wide-character engine (about 20 KB) to
// the exe; these two entry points hand the work to msvcrt instead. The snprintf form keeps C99's
// contract: the text is always terminated and its full length is returned.
#include <cstdarg>
#include <cstddef>
#include <cstdio>

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl51-cpp): the names MinGW's headers call
extern "C" {
// MinGW's C99 wrapper of msvcrt's _vsnprintf, and msvcrt's own vfprintf (the
// C++ header's vfprintf would call the replaced one).
int __cdecl __ms_vsnprintf(char* buffer, std::size_t size, const char* format, va_list args);
int __cdecl MsvcrtVfprintf(std::FILE* stream, const char* format, va_list args)
    __MINGW_ASM_CALL(vfprintf);

int __cdecl __mingw_vsnprintf(char* buffer, std::size_t size, const char* format, va_list args) {
    return __ms_vsnprintf(buffer, size, format, args);
}
int __cdecl __mingw_vfprintf(std::FILE* stream, const char* format, va_list args) {
    return MsvcrtVfprintf(stream, format, args);
}
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl51-cpp)
