#include "settings/password_hash.h"

#include <cstring>

#include "base/secret.h"
#include "platform/clock.h"
#include "platform/md5.h"

namespace tarvik {
namespace {

// The salt proper: after an optional "$1$", up to the first '$', 8 at most.
std::string_view SaltProper(std::string_view salt) {
    if (salt.starts_with(kPasswordMagic)) salt.remove_prefix(kPasswordMagic.size());
    const size_t end = salt.find('$');
    if (end != std::string_view::npos) salt = salt.substr(0, end);
    return salt.substr(0, kMaxSaltChars);
}

void Append64(std::string& out, uint32_t value, int chars) {
    for (; chars > 0; --chars, value >>= 6) out += itoa64[value & 63];
}

// Digests derived from the password are wiped as they go out of scope.
struct WipedDigest {
    Md5Digest bytes{};
    ~WipedDigest() { SecureWipe(bytes.data(), bytes.size()); }
};

// The first round: password, magic and salt, mixed with a digest of
// password, salt and password. False when MD5 failed.
bool FirstRound(std::string_view password, std::string_view salt, Md5Digest* out) {
    WipedDigest alternate;
    {
        Md5 b;
        b.Update(password);
        b.Update(salt);
        b.Update(password);
        if (!b.Final(&alternate.bytes)) return false;
    }
    Md5 a;
    a.Update(password);
    a.Update(kPasswordMagic);
    a.Update(salt);
    for (size_t left = password.size(); left > 0;) {
        const size_t piece = left < alternate.bytes.size() ? left : alternate.bytes.size();
        a.Update(alternate.bytes.data(), piece);
        left -= piece;
    }
    // The classic algorithm meant to add bytes of the alternate digest here
    // but had cleared it first, so a 1 bit adds a zero byte; every "$1$"
    // implementation keeps that.
    static constexpr char kZero = 0;
    for (size_t bits = password.size(); bits != 0; bits >>= 1)
        a.Update((bits & 1) ? &kZero : password.data(), 1);
    return a.Final(out);
}

}  // namespace

std::string PasswordHash(std::string_view password, std::string_view salt) {
    salt = SaltProper(salt);
    WipedDigest f;
    if (!FirstRound(password, salt, &f.bytes)) return {};
    // A thousand rounds, only to make guessing slow.
    for (int i = 0; i < 1000; ++i) {
        Md5 c;
        if (i & 1)
            c.Update(password);
        else
            c.Update(f.bytes.data(), f.bytes.size());
        if (i % 3) c.Update(salt);
        if (i % 7) c.Update(password);
        if (i & 1)
            c.Update(f.bytes.data(), f.bytes.size());
        else
            c.Update(password);
        if (!c.Final(&f.bytes)) return {};
    }

    const auto& F = f.bytes;
    std::string out;
    out.reserve(kPasswordMagic.size() + salt.size() + 1 + kPasswordHashChars);
    out += kPasswordMagic;
    out += salt;
    out += '$';
    auto triple = [&](int a, int b, int c) {
        Append64(out, uint32_t{F[a]} << 16 | uint32_t{F[b]} << 8 | F[c], 4);
    };
    triple(0, 6, 12);
    triple(1, 7, 13);
    triple(2, 8, 14);
    triple(3, 9, 15);
    triple(4, 10, 5);
    Append64(out, F[11], 2);
    return out;
}

void MakeSalt(char* out, uint64_t time, size_t n) {
    for (size_t k = 0; k < n; ++k, time >>= 6) out[k] = itoa64[time & 63];
}

std::string NewPasswordSalt() {
    std::string salt(kNewSaltChars, '.');
    MakeSalt(salt.data(), static_cast<uint64_t>(GetClock().CalendarTime()), salt.size());
    return salt;
}

bool IsStoredPassword(std::string_view stored) {
    if (!stored.starts_with(kPasswordMagic)) return false;
    stored.remove_prefix(kPasswordMagic.size());
    const size_t end = stored.find('$');
    if (end == std::string_view::npos || end > kMaxSaltChars) return false;
    const std::string_view hash = stored.substr(end + 1);
    if (hash.size() != kPasswordHashChars) return false;
    return hash.find_first_not_of(itoa64) == std::string_view::npos;
}

bool PasswordMatches(std::string_view typed, std::string_view stored) {
    if (!IsStoredPassword(stored)) return false;
    const std::string h = PasswordHash(typed, stored);
    if (h.size() != stored.size()) return false;
    // No early exit: the time taken says nothing about where they differ.
    unsigned char diff = 0;
    for (size_t i = 0; i < h.size(); ++i) diff |= static_cast<unsigned char>(h[i] ^ stored[i]);
    return diff == 0;
}

bool StoreNewPassword(std::string_view typed, char* data, size_t capacity) {
    if (!data || capacity == 0) return false;
    if (typed.empty()) {
        std::memset(data, 0, capacity);
        return true;
    }
    const std::string h = PasswordHash(typed, NewPasswordSalt());
    if (h.empty() || h.size() >= capacity) return false;
    std::memcpy(data, h.c_str(), h.size() + 1);
    std::memset(data + h.size() + 1, 0, capacity - h.size() - 1);
    return true;
}

}  // namespace tarvik
