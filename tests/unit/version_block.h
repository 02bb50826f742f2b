#pragma once
// Builds VS_VERSIONINFO blocks byte by byte, as a resource compiler lays
// them out: each node's header, UTF-16 key, value and children aligned to 4
// bytes from the block's start.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::test {

// One node of a VS_VERSIONINFO tree. valueLength < 0: the true length
// (characters with the NUL for text, bytes otherwise).
struct VNode {
    std::u16string key;
    std::vector<uint8_t> value;
    bool text = false;
    std::vector<VNode> children;
    int valueLength = -1;
};

inline void Put16(std::vector<uint8_t>& b, size_t at, size_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Pad4(std::vector<uint8_t>& b) {
    while (b.size() % 4) b.push_back(0);
}

inline void Write(std::vector<uint8_t>& b, const VNode& n) {
    const size_t start = b.size();
    b.resize(start + 6);
    for (char16_t c : n.key)
        b.insert(b.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    b.insert(b.end(), {0, 0});
    Pad4(b);
    b.insert(b.end(), n.value.begin(), n.value.end());
    for (const VNode& child : n.children) {
        Pad4(b);
        Write(b, child);
    }
    const size_t length = n.valueLength >= 0 ? static_cast<size_t>(n.valueLength)
                          : n.text           ? n.value.size() / 2
                                             : n.value.size();
    Put16(b, start, b.size() - start);
    Put16(b, start + 2, length);
    Put16(b, start + 4, n.text ? 1 : 0);
}

inline std::vector<uint8_t> Bytes(const VNode& root) {
    std::vector<uint8_t> b;
    Write(b, root);
    return b;
}

inline VNode String(std::u16string key, std::u16string value) {
    VNode n{std::move(key), {}, true, {}};
    value.push_back(0);
    for (char16_t c : value)
        n.value.insert(n.value.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    return n;
}

inline VNode Translation(std::vector<uint8_t> value) {
    return VNode{u"VarFileInfo", {}, false, {VNode{u"Translation", std::move(value), false, {}}}};
}

// A library's block with three strings under tableKey.
inline VNode Block(std::u16string tableKey, std::vector<uint8_t> translation,
                   bool withTranslation = true) {
    VNode table{
        std::move(tableKey),
        {},
        true,
        {String(u"LegalCopyright", u"(c) Someone 1999"), String(u"ProductName", u"ASPI for Win32"),
         String(u"FileVersion", u"4.60 (1021)")}};
    VNode root{u"VS_VERSION_INFO",
               std::vector<uint8_t>(52, 0xAB),
               false,
               {VNode{u"StringFileInfo", {}, true, {table}}}};
    if (withTranslation) root.children.push_back(Translation(std::move(translation)));
    return root;
}

inline const std::vector<uint8_t> kUsEnglishUnicode = {0x09, 0x04, 0xB0, 0x04};

}  // namespace tarvik::test
