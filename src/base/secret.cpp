#include "base/secret.h"

#include <cstring>
#include <new>
#include <utility>

namespace tarvik {

void SecureWipe(void* data, size_t size) {
    if (!data || size == 0) return;
    // Stores through a volatile pointer may not be removed, and the empty asm
    // that "reads" the memory keeps the compiler from proving them dead.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

SecretText::SecretText(size_t capacity) {
    if (capacity + 1 == 0) return;
    data_ = new (std::nothrow) char[capacity + 1];
    if (!data_) return;
    capacity_ = capacity;
    std::memset(data_, 0, capacity + 1);
}

SecretText::~SecretText() { Release(); }

SecretText::SecretText(SecretText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

std::string_view SecretText::view() const {
    if (!data_) return {};
    return {data_, ::strnlen(data_, capacity_)};
}

bool SecretText::Assign(std::string_view text) {
    if (!data_) return false;
    Wipe();
    const size_t n = text.size() < capacity_ ? text.size() : capacity_;
    std::memcpy(data_, text.data(), n);
    return n == text.size();
}

void SecretText::Wipe() {
    if (data_) SecureWipe(data_, capacity_ + 1);
}

void SecretText::Release() {
    Wipe();
    delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
}

}  // namespace tarvik
