// MD5 from the system's CryptoAPI (advapi32): no digest code in the exe.
#include <windows.h>
// wincrypt.h needs windows.h first; WIN32_LEAN_AND_MEAN leaves it out.
#include <wincrypt.h>

#include <new>

#include "base/log.h"
#include "platform/md5.h"

namespace tarvik {
namespace {

// One verify-only provider context for the process: acquiring it is far
// slower than a hash, and a password check makes a thousand hashes.
class Provider {
public:
    Provider() {
        if (!::CryptAcquireContextA(&handle_, nullptr, nullptr, PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT)) {
            LogPrintf("Md5: CryptAcquireContext failed (%lu)\n", ::GetLastError());
            handle_ = 0;
        }
    }
    ~Provider() {
        if (handle_) (void)::CryptReleaseContext(handle_, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};

HCRYPTPROV TheProvider() {
    static Provider provider;
    return provider.get();
}

}  // namespace

struct Md5::State {
    HCRYPTHASH hash = 0;
    ~State() {
        if (hash) (void)::CryptDestroyHash(hash);
    }
};

Md5::Md5() {
    const HCRYPTPROV provider = TheProvider();
    if (!provider) return;
    state_ = new (std::nothrow) State;
    if (!state_) return;
    if (!::CryptCreateHash(provider, CALG_MD5, 0, 0, &state_->hash)) {
        LogPrintf("Md5: CryptCreateHash failed (%lu)\n", ::GetLastError());
        state_->hash = 0;
        Release();
    }
}

Md5::~Md5() { Release(); }

void Md5::Release() {
    delete state_;
    state_ = nullptr;
}

void Md5::Update(const void* data, size_t size) {
    if (!state_ || size == 0) return;
    // CryptHashData takes a 32-bit length; larger inputs go in pieces.
    const BYTE* p = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!::CryptHashData(state_->hash, p, piece, 0)) {
            Release();
            return;
        }
        p += piece;
        size -= piece;
    }
}

bool Md5::Final(Md5Digest* out) {
    if (!state_) return false;
    DWORD size = static_cast<DWORD>(out->size());
    const bool ok =
        ::CryptGetHashParam(state_->hash, HP_HASHVAL, out->data(), &size, 0) && size == out->size();
    Release();
    return ok;
}

}  // namespace tarvik
