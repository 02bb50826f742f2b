#include "settings/values.h"

#include <cstring>
#include <string>

#include "base/bytes.h"

namespace tarvik {

bool ReadDword(const RegKey& key, const char* name, uint32_t* field) {
    uint8_t bytes[4];
    PutLe32(bytes, *field);
    uint32_t size = sizeof(bytes);
    if (key.Query(name, nullptr, bytes, &size) != kRegOk) return false;
    *field = GetLe32(bytes);
    return true;
}

bool ReadString(const RegKey& key, const char* name, char* field, uint32_t fieldSize) {
    std::string buffer(fieldSize, '\0');
    uint32_t size = fieldSize;
    if (key.Query(name, nullptr, buffer.data(), &size) != kRegOk) return false;
    std::memset(field, 0, fieldSize);
    std::memcpy(field, buffer.data(), size < fieldSize ? size : fieldSize);
    field[fieldSize - 1] = '\0';
    return true;
}

void WriteString(const RegKey& key, const char* name, const char* field, uint32_t fieldSize) {
    const std::string text(field, strnlen(field, fieldSize - 1));
    (void)key.SetString(name, text.c_str());
}

}  // namespace tarvik
