#pragma once
// The Md5 seam: MD5 digests from the system's provider. The host
// build uses OpenSSL's libcrypto, the Windows build the system's CryptoAPI,
// so the exe carries no digest code of its own. Both answer the same vectors.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvik {

using Md5Digest = std::array<uint8_t, 16>;

// One digest computation: Update any number of times, then Final once.
// A provider that is missing or fails (no MD5 in the system's crypto, out of
// memory) makes the object fail: Final then returns false and callers must
// treat the digest as unknown.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void Update(const void* data, size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest of everything added; false when the provider failed at any
    // point or Final was already called.
    [[nodiscard]] bool Final(Md5Digest* out);

private:
    struct State;    // the provider's hash object, defined by each build
    void Release();  // frees the hash object: no digest can follow

    State* state_ = nullptr;  // null once failed or finished
};

}  // namespace tarvik
