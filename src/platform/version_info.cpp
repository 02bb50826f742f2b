#include "platform/version_info.h"

#include <cstdio>

#include "base/bytes.h"
#include "base/log.h"
#include "base/text.h"

namespace tarvik {
namespace {

constexpr size_t kNodeHeader = 6;  // wLength, wValueLength, wType
constexpr uint32_t kDefaultLanguage = 0x0409;
constexpr uint32_t kDefaultCodePage = 0x04B0;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

struct Node {
    size_t end = 0;  // one past the node, within its parent
    std::u16string key;
    VersionValue value;
    size_t children = 0;  // first child's offset
};

// Reads the node at offset, which must lie within [offset, limit). False
// when its header or key does not fit.
bool ReadNode(std::span<const uint8_t> block, size_t offset, size_t limit, Node* node) {
    if (limit > block.size() || offset > limit || limit - offset < kNodeHeader) return false;
    const uint8_t* p = block.data();
    const size_t length = GetLe16(p + offset);
    const size_t valueLength = GetLe16(p + offset + 2);
    const uint32_t type = GetLe16(p + offset + 4);
    if (length < kNodeHeader) return false;
    node->end = length < limit - offset ? offset + length : limit;

    node->key.clear();
    size_t pos = offset + kNodeHeader;
    for (;; pos += 2) {
        if (pos + 2 > node->end) return false;  // the key never ends
        const char16_t unit = static_cast<char16_t>(GetLe16(p + pos));
        if (unit == 0) break;
        node->key.push_back(unit);
    }
    const size_t valueStart = Align4(pos + 2);
    node->value = {};
    node->value.text = type == 1;
    // Text lengths count UTF-16 units; some resource compilers wrote bytes,
    // which the NUL below cuts back.
    const size_t valueBytes = node->value.text ? valueLength * 2 : valueLength;
    size_t valueEnd = valueStart;
    if (valueStart < node->end) {
        valueEnd = valueBytes < node->end - valueStart ? valueStart + valueBytes : node->end;
        node->value.bytes = block.subspan(valueStart, valueEnd - valueStart);
    }
    if (node->value.text) {
        const std::span<const uint8_t> b = node->value.bytes;
        size_t n = 0;
        while (n + 1 < b.size() && (b[n] | b[n + 1]) != 0) n += 2;
        node->value.bytes = b.first(n);
    }
    node->children = Align4(valueEnd);
    return true;
}

bool KeyEquals(const std::u16string& key, std::string_view name) {
    if (key.size() != name.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] > 0x7F || FoldAscii(static_cast<char>(key[i])) != FoldAscii(name[i]))
            return false;
    }
    return true;
}

std::string HexKey(uint32_t language, uint32_t codePage) {
    char key[16];
    std::snprintf(key, sizeof key, "%04x%04x", language & 0xFFFF, codePage & 0xFFFF);
    return key;
}

}  // namespace

std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::string_view path) {
    Node node;
    if (!ReadNode(block, 0, block.size(), &node)) return std::nullopt;
    while (!path.empty()) {
        if (path.front() == '\\') {
            path.remove_prefix(1);
            continue;
        }
        const size_t slash = path.find('\\');
        const std::string_view name = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash);
        bool found = false;
        Node child;
        for (size_t at = node.children; at < node.end;) {
            if (!ReadNode(block, at, node.end, &child)) break;
            if (KeyEquals(child.key, name)) {
                found = true;
                break;
            }
            at = Align4(child.end);
        }
        if (!found) return std::nullopt;
        node = std::move(child);
    }
    return node.value;
}

void AspiVersionInfo::StoreVersionInfo(std::vector<uint8_t> block) {
    block_ = std::move(block);
    loaded_ = true;
    static constexpr char kTranslation[] = "\\VarFileInfo\\Translation";
    const std::optional<VersionValue> t = QueryVersionValue(block_, kTranslation);
    // A translation entry is a language and a code page, 4 bytes; a shorter
    // value has no entry to read.
    if (t && t->bytes.size() >= 4) {
        key_ = HexKey(GetLe16(t->bytes.data()), GetLe16(t->bytes.data() + 2));
        return;
    }
    LogPrintf("StoreVersionInfo: VerQueryValue(%s) failed!\n", kTranslation);
    key_ = HexKey(kDefaultLanguage, kDefaultCodePage);
}

std::optional<std::u16string> AspiVersionInfo::ASPIGetVersionInfo(std::string_view name) const {
    if (!loaded_) {
        LogPrintf("ASPIGetVersionInfo: version not loaded!\n");
        return std::nullopt;
    }
    const std::string path = "\\StringFileInfo\\" + key_ + "\\" + std::string(name);
    const std::optional<VersionValue> v = QueryVersionValue(block_, path);
    if (!v) {
        LogPrintf("ASPIGetVersionInfo: VerQueryValue(%s) failed!\n", path.c_str());
        return std::nullopt;
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < v->bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(GetLe16(v->bytes.data() + i)));
    return text;
}

}  // namespace tarvik
