// MD5 from OpenSSL's libcrypto (EVP interface).
#include <openssl/evp.h>

#include <new>

#include "platform/md5.h"

namespace tarvik {

struct Md5::State {
    EVP_MD_CTX* ctx = nullptr;
    // Frees and clears the context, which held password bytes in its buffer.
    ~State() { EVP_MD_CTX_free(ctx); }
};

Md5::Md5() {
    state_ = new (std::nothrow) State;
    if (!state_) return;
    state_->ctx = EVP_MD_CTX_new();
    // EVP_md5 is absent when the library runs in a FIPS-only configuration.
    const EVP_MD* md = EVP_md5();
    if (!state_->ctx || !md || EVP_DigestInit_ex(state_->ctx, md, nullptr) != 1) Release();
}

Md5::~Md5() { Release(); }

void Md5::Release() {
    delete state_;
    state_ = nullptr;
}

void Md5::Update(const void* data, size_t size) {
    if (!state_ || size == 0) return;
    if (EVP_DigestUpdate(state_->ctx, data, size) != 1) Release();
}

bool Md5::Final(Md5Digest* out) {
    if (!state_) return false;
    unsigned int size = 0;
    const bool ok = EVP_DigestFinal_ex(state_->ctx, out->data(), &size) == 1 && size == out->size();
    Release();
    return ok;
}

}  // namespace tarvik
