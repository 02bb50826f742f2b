#include "ui/text/strings.h"

#include <algorithm>
#include <array>

namespace tarvik {
namespace {

// Plain literals are UTF-8 (the sources are UTF-8 and so is the execution
// character set of both compilers); u"" literals are UTF-16.
constexpr ResStringEntry kTable[] = {
#define TARVIK_STRING(id, name, text) {id, #name, u"" text, text},
#include "strings.inc"
#undef TARVIK_STRING
};

constexpr bool StrictlyAscending() {
    for (std::size_t i = 1; i < std::size(kTable); ++i) {
        if (kTable[i - 1].id >= kTable[i].id) return false;
    }
    return true;
}
// Lookups bisect the table, and the resource compiler would reject a duplicate.
static_assert(StrictlyAscending(), "strings.inc: ids must ascend without repeats");
// The resource block format counts units in 16 bits; a string id is 16 bits.
static_assert(std::all_of(std::begin(kTable), std::end(kTable),
                          [](const ResStringEntry& e) { return e.id <= 0xFFFF; }),
              "strings.inc: string ids are 16-bit");

}  // namespace

std::span<const ResStringEntry> ResStringTable() { return kTable; }

const ResStringEntry* FindResStringEntry(unsigned id) {
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                               [](const ResStringEntry& e, unsigned v) { return e.id < v; });
    return it != std::end(kTable) && it->id == id ? &*it : nullptr;
}

std::u16string_view ResString(unsigned id) {
    const ResStringEntry* e = FindResStringEntry(id);
    return e ? e->text : std::u16string_view{};
}

std::string_view ResStringUtf8(unsigned id) {
    const ResStringEntry* e = FindResStringEntry(id);
    return e ? e->utf8 : std::string_view{};
}

std::vector<uint16_t> BuildResStringBlock(unsigned block) {
    std::vector<uint16_t> data;
    if (block > 0xFFFF / 16) return data;
    bool used = false;
    for (unsigned index = 0; index < 16; ++index) {
        const ResStringEntry* e = FindResStringEntry(block * 16 + index);
        used = used || e != nullptr;
        const std::u16string_view text = e ? e->text : std::u16string_view{};
        data.push_back(static_cast<uint16_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    if (!used) data.clear();
    return data;
}

}  // namespace tarvik
