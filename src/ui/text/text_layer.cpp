#include "ui/text/text_layer.h"

namespace tarvik {

std::optional<std::span<const uint16_t>> FindResString(std::span<const uint16_t> block,
                                                       unsigned id) {
    std::size_t pos = 0;
    for (unsigned skip = id & 15; skip > 0; --skip) {
        if (pos >= block.size()) return std::nullopt;
        pos += 1 + block[pos];
    }
    if (pos >= block.size()) return std::nullopt;
    const std::size_t count = block[pos];
    if (count > block.size() - pos - 1) return std::nullopt;
    return block.subspan(pos + 1, count);
}

std::size_t AnsiPrefixLength(std::string_view ansi, std::size_t maxBytes,
                             bool (*isLeadByte)(unsigned char)) {
    std::size_t i = 0;
    while (i < ansi.size()) {
        const bool lead = isLeadByte && isLeadByte(static_cast<unsigned char>(ansi[i]));
        const std::size_t next = i + (lead ? 2 : 1);
        if (next > maxBytes || next > ansi.size()) break;
        i = next;
    }
    return i;
}

}  // namespace tarvik
