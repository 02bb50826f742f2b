#pragma once
// The eject password: its "$1$" MD5-crypt hash, the salt of a new one, and
// the check and store steps of the password dialog. The password itself is
// never kept: only its hash is stored (the "Data" setting), and typed texts
// live in wiped buffers (base/secret.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// The 64 characters of the hash and salt encoding; value v is itoa64[v].
inline constexpr std::string_view itoa64 =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

inline constexpr std::string_view kPasswordMagic = "$1$";
constexpr size_t kMaxSaltChars = 8;
constexpr size_t kPasswordHashChars = 22;
// A new password's salt: four characters, the low 24 bits of the time.
constexpr size_t kNewSaltChars = 4;
// PasswordContext.limit: each password box takes limit - 1 characters.
constexpr int kPasswordLimit = 23;
// The size of the "Data" setting, the stored form and its NUL.
constexpr size_t kStoredPasswordSize = 35;

// MD5-crypt of password with salt. salt may carry the "$1$" prefix and
// anything after the salt proper (a whole stored text serves); the salt
// proper ends at the first '$' and is cut to 8 characters. Returns "$1$",
// the salt proper, "$" and 22 hash characters, or an empty text when no MD5
// was available: an empty result never matches a stored password and must
// never be stored.
std::string PasswordHash(std::string_view password, std::string_view salt);

// Writes n itoa64 characters encoding time, lowest six bits first. No NUL.
void MakeSalt(char* out, uint64_t time, size_t n);

// The salt for a new password, from the process clock's calendar time.
std::string NewPasswordSalt();

// True when stored has the form "$1$" salt "$" hash: a salt of 0..8
// characters without '$' and 22 itoa64 characters.
bool IsStoredPassword(std::string_view stored);

// The check of the "Enter password" dialog: true when typed hashes to
// stored. A malformed stored text, or a missing MD5, never matches. The
// comparison takes the same time wherever the texts differ.
bool PasswordMatches(std::string_view typed, std::string_view stored);

// The OK step of the "New password" dialog once both boxes agree: an empty
// text removes the password (data becomes empty); any other is hashed with a
// salt from the clock and stored. data always ends with a NUL within
// capacity. Returns false, with data unchanged, when no hash could be made or
// the stored form would not fit: a cut hash would lock the user out.
[[nodiscard]] bool StoreNewPassword(std::string_view typed, char* data, size_t capacity);

}  // namespace tarvik
