#pragma once
// Memory that held a password. A typed password must not outlive its use in
// freed heap blocks or stack buffers, where a crash dump or a later
// allocation could show it; these helpers clear it in a way the optimizer
// cannot drop as a dead store.
#include <cstddef>
#include <string_view>

namespace tarvik {

// Sets size bytes at data to zero, also when data is never read again.
void SecureWipe(void* data, size_t size);

// A fixed buffer for one typed secret: capacity characters and a NUL,
// allocated once (so it never leaves copies behind by growing), wiped before
// it is freed. An allocation that fails leaves it invalid, which callers
// treat as "nothing typed": no check passes and nothing is stored.
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(size_t capacity);
    ~SecretText();
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    bool valid() const { return data_ != nullptr; }
    // The buffer, capacity() + 1 bytes, for a system call to fill.
    char* data() { return data_; }
    size_t capacity() const { return capacity_; }
    // The text up to the first NUL (never beyond the buffer).
    std::string_view view() const;
    // Copies text in, cut to the capacity; false when it had to be cut or the
    // buffer is invalid.
    bool Assign(std::string_view text);
    // Zeroes the whole buffer; the text becomes empty.
    void Wipe();

private:
    void Release();

    char* data_ = nullptr;
    size_t capacity_ = 0;
};

}  // namespace tarvik
