#include "ui/dialog/dialog_layout.h"

#include <algorithm>

namespace tarvik {
namespace {

// Tables are program data, but an item listed as its own container (or two
// rows naming each other through a group box) must not recurse for ever.
// The depth bound alone is not enough: rows that share an id make every level
// of a cycle branch, so each row is also measured and placed once per pass.
constexpr int kMaxDepth = 32;

// Group box frame: 9 pixels each side, 4 below; the caption sets the top.
constexpr int kGroupSide = 9;
constexpr int kGroupBottom = 4;

enum class Axis { Row, Column };

struct Measured {
    Size size;
    StretchKind h = StretchKind::Fixed;
    StretchKind v = StretchKind::Fixed;
};

// A child's kind raises the container's: Expand wins, Fill beats Fixed.
void Raise(StretchKind& container, StretchKind child) {
    if (child == StretchKind::Expand) container = StretchKind::Expand;
    if (child == StretchKind::Fill && container == StretchKind::Fixed)
        container = StretchKind::Fill;
}

StretchKind FixedToFill(StretchKind k) { return k == StretchKind::Fixed ? StretchKind::Fill : k; }

class Engine {
public:
    Engine(std::span<const ItemState> items, TextMetrics& metrics)
        : items_(items), metrics_(metrics), done_(items.size(), false) {}

    // Measures the children of `key` into `out` (same indexing as items_).
    Measured MeasureContainer(std::span<ItemState> out, uint16_t key, Axis axis, int depth) {
        Measured m;
        unsigned code = kLayoutKeep;
        if (depth > kMaxDepth) return m;
        for (std::size_t i = 0; i < out.size(); ++i) {
            ItemState& item = out[i];
            if (item.id == key && IsContainer(item.cls)) {
                code = ParseDlgInt(metrics_.Text(key));
                continue;
            }
            if (item.parent != key) continue;
            MeasureItem(out, i, depth + 1);
            if (axis == Axis::Column) {
                m.size.width = std::max(m.size.width, item.width);
                m.size.height += item.height;
            } else {
                m.size.width += item.width;
                m.size.height = std::max(m.size.height, item.height);
            }
            Raise(m.h, item.h);
            Raise(m.v, item.v);
        }
        ApplyLayoutCode(code, m.h, m.v);
        return m;
    }

    // The caption's extent; an empty caption still reserves half a line and 4
    // pixels above the frame's contents.
    Size Caption(uint16_t id) {
        const std::u16string text = metrics_.Text(id);
        if (!text.empty()) return MeasureText(metrics_, id, text);
        const Size space = metrics_.TextExtent(id, u" ");
        return {space.width, space.height / 2 + 4};
    }

    void MeasureItem(std::span<ItemState> out, std::size_t index, int depth) {
        if (done_[index]) return;  // a row reached again keeps its first size
        done_[index] = true;
        ItemState& item = out[index];
        Size s;
        StretchKind h = StretchKind::Fixed, v = StretchKind::Fixed;
        const uint16_t id = item.id;
        switch (item.cls->measure) {
            case MeasureRule::Row:
            case MeasureRule::Column: {
                const Measured m = MeasureContainer(
                    out, id, item.cls->measure == MeasureRule::Row ? Axis::Row : Axis::Column,
                    depth);
                s = m.size, h = m.h, v = m.v;
                break;
            }
            case MeasureRule::GroupRow:
            case MeasureRule::GroupColumn: {
                const Measured m = MeasureContainer(
                    out, id, item.cls->measure == MeasureRule::GroupRow ? Axis::Row : Axis::Column,
                    depth);
                const Size caption = Caption(id);
                s.width = std::max(m.size.width, caption.width) + 2 * kGroupSide;
                s.height = m.size.height + caption.height + kGroupBottom;
                h = FixedToFill(m.h), v = FixedToFill(m.v);
                break;
            }
            case MeasureRule::CompactButton: {
                const Size t = TextOf(id);
                s.width = std::max(t.width + 10, 8 * t.height / 5);
                s.height = std::max(t.height + 10, 8 * t.height / 5);
                break;
            }
            case MeasureRule::Button: {
                const Size t = TextOf(id);
                s.height = std::max(t.height + 10, 8 * t.height / 5);
                s.width = std::max(t.width + 10, 4 * s.height);
                break;
            }
            case MeasureRule::CheckMark: {
                // The box grows with the screen's pixels per inch, never below 96's.
                const Size t = TextOf(id);
                const int mark = std::max(metrics_.Dpi(id), 96) >> 3;
                s.width = t.width + mark + metrics_.MaxCharWidth(id) / 8 + 8;
                s.height = t.height <= mark + 1 ? mark + 2 : t.height;
                break;
            }
            case MeasureRule::Edit: {
                // Room for one more average character than the text holds.
                const std::u16string text = metrics_.Text(id);
                if (!text.empty()) {
                    const Size t = MeasureText(metrics_, id, text);
                    const int n = static_cast<int>(text.size());
                    s.width = std::max(t.width + t.width / n, t.height) + 6;
                    s.height = t.height + 6;
                } else {
                    const Size t = MeasureText(metrics_, id, u"  ");
                    s.width = std::max(t.width, t.height) + 6;
                    s.height = t.height + 6;
                }
                h = StretchKind::Fill;
                break;
            }
            case MeasureRule::HotKey: {
                const Size t = MeasureText(metrics_, id, kHotKeySample);
                s = {t.width + 6, t.height + 6};
                h = StretchKind::Fill;
                break;
            }
            case MeasureRule::Label: s = TextOf(id); break;
            case MeasureRule::LabelFill:
                s = TextOf(id);
                h = StretchKind::Fill;
                break;
            case MeasureRule::SmallIcon: s = {16, 16}; break;
            case MeasureRule::Icon: s = metrics_.IconSize(id); break;
            case MeasureRule::Spacer: s = {9, 9}; break;
            case MeasureRule::Progress: {
                // The text is the bar's width in pixels.
                const unsigned width = ParseDlgInt(metrics_.Text(id));
                s.width = width ? static_cast<int>(std::min(width, 0x7FFFu)) : 100;
                s.height = metrics_.ScrollHeight();
                h = StretchKind::Fill;
                break;
            }
            case MeasureRule::ListView: {
                s = metrics_.ListViewSize(id);
                if (s.width == 0 && s.height == 0) {
                    // No estimate: the column titles side by side, eight lines.
                    const std::u16string text = metrics_.Text(id);
                    const Size t = text.empty() ? Size{} : MeasureText(metrics_, id, text);
                    const auto tabs = std::count(text.begin(), text.end(), u'\t');
                    s.width = t.width + 16 + 16 * static_cast<int>(tabs);
                    s.height = 8 * t.height;
                }
                s.width += 4 + metrics_.ScrollWidth();
                s.height += 4;
                h = v = StretchKind::Expand;
                break;
            }
            case MeasureRule::RichText: {
                // At most 512 x 384; beyond that the text scrolls.
                const Size t = TextOf(id);
                s = {t.width + 34, t.height + 22};
                if (s.width > 512) s.width = 512, s.height += metrics_.ScrollHeight();
                if (s.height > 384) s.width += metrics_.ScrollWidth(), s.height = 384;
                h = v = StretchKind::Expand;
                break;
            }
        }
        item.width = s.width;
        item.height = s.height;
        item.h = h;
        item.v = v;
    }

    // Places the children of `key` inside `box`, appending to `out`.
    void PlaceContainer(uint16_t key, Axis axis, Box box, int depth, std::vector<Placement>& out) {
        if (depth > kMaxDepth) return;
        int sumW = 0, sumH = 0, maxW = 0, maxH = 0, children = 0;
        int expandH = 0, fillH = 0, expandV = 0, fillV = 0;
        for (const ItemState& c : items_) {
            if (c.parent != key || c.id == key) continue;
            ++children;
            sumW += c.width, sumH += c.height;
            maxW = std::max(maxW, c.width), maxH = std::max(maxH, c.height);
            expandH += c.h == StretchKind::Expand, fillH += c.h == StretchKind::Fill;
            expandV += c.v == StretchKind::Expand, fillV += c.v == StretchKind::Fill;
        }
        const auto mode = [children](int expand, int fill, int& count) {
            if (expand) return count = expand, StretchKind::Expand;
            if (fill) return count = fill, StretchKind::Fill;
            return count = children, StretchKind::Fixed;
        };
        int countH = 0, countV = 0;
        const StretchKind modeH = mode(expandH, fillH, countH);
        const StretchKind modeV = mode(expandV, fillV, countV);

        int x = box.x, y = box.y;
        if (axis == Axis::Row) {
            // No remainder handling: what does not divide evenly stays unused.
            const int share = countH ? (box.width - sumW) / countH : 0;
            if (modeH == StretchKind::Fixed) x += share / 2;
            if (modeV == StretchKind::Fixed) y += (box.height - maxH) / 2;
            for (std::size_t i = 0; i < items_.size(); ++i) {
                const ItemState& c = items_[i];
                if (c.parent != key || c.id == key) continue;
                const int slot = c.width + (c.h == modeH ? share : 0);
                const int width = c.h != StretchKind::Fixed ? slot : c.width;
                const int height = c.v != StretchKind::Fixed ? box.height : c.height;
                PlaceItem(i, {x, y, width, height}, depth, out);
                x += slot;
            }
        } else {
            // The remainder goes a pixel at a time to the first children.
            const int free = box.height - sumH;
            const int share = countV ? free / countV : 0;
            int rest = countV ? free % countV : 0;
            if (modeV == StretchKind::Fixed) y += share / 2;
            for (std::size_t i = 0; i < items_.size(); ++i) {
                const ItemState& c = items_[i];
                if (c.parent != key || c.id == key) continue;
                const int width = c.h != StretchKind::Fixed ? box.width : c.width;
                int slot = c.height;
                if (rest > 0) ++slot, --rest;
                if (c.v == modeV) slot += share;
                const int height = c.v != StretchKind::Fixed ? slot : c.height;
                PlaceItem(i, {x, y, width, height}, depth, out);
                y += slot;
            }
        }
    }

    void PlaceItem(std::size_t index, Box box, int depth, std::vector<Placement>& out) {
        if (done_[index]) return;  // a row reached again stays where it went first
        done_[index] = true;
        const ItemState& item = items_[index];
        bool move = false;
        switch (item.cls->place) {
            case PlaceRule::None: break;
            case PlaceRule::Move: move = true; break;
            case PlaceRule::Row: PlaceContainer(item.id, Axis::Row, box, depth + 1, out); break;
            case PlaceRule::Column:
                PlaceContainer(item.id, Axis::Column, box, depth + 1, out);
                break;
            case PlaceRule::GroupRow:
            case PlaceRule::GroupColumn: {
                move = true;
                const Size caption = Caption(item.id);
                const Box inside{box.x + kGroupSide, box.y + caption.height,
                                 box.width - 2 * kGroupSide,
                                 box.height - caption.height - kGroupBottom};
                PlaceContainer(item.id,
                               item.cls->place == PlaceRule::GroupRow ? Axis::Row : Axis::Column,
                               inside, depth + 1, out);
                break;
            }
        }
        out.push_back({index, box, move});
    }

private:
    Size TextOf(uint16_t id) {
        const std::u16string text = metrics_.Text(id);
        return text.empty() ? Size{} : MeasureText(metrics_, id, text);
    }

    std::span<const ItemState> items_;
    TextMetrics& metrics_;
    std::vector<bool> done_;  // measured or placed in this pass, by row
};

}  // namespace

std::vector<ItemState> MakeItemStates(DialogTable table) {
    std::vector<ItemState> items;
    items.reserve(table.size());
    for (const DialogItem& row : table) {
        ItemState s;
        s.id = static_cast<uint16_t>(row.id);
        s.parent = static_cast<uint16_t>(row.parent);
        s.cls = row.cls;
        s.handler = row.handler;
        items.push_back(s);
    }
    return items;
}

Size MeasureText(TextMetrics& metrics, uint16_t id, std::u16string_view text) {
    Size total;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(u'\n', start);
        std::u16string_view line = text.substr(
            start, end == std::u16string_view::npos ? text.size() - start : end - start);
        // An empty line is measured as its line break, so it still adds a line.
        const Size s = metrics.TextExtent(id, line.empty() ? std::u16string_view(u"\n", 1) : line);
        total.width = std::max(total.width, s.width);
        total.height += s.height;
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    return total;
}

unsigned ParseDlgInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    const std::size_t digits = i;
    unsigned long long value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i] - u'0');
        if (value > 0xFFFFFFFFull) return 0;
        ++i;
    }
    if (i == digits) return 0;
    while (i < text.size() && text[i] == u' ') ++i;
    return i == text.size() ? static_cast<unsigned>(value) : 0;
}

void ApplyLayoutCode(unsigned code, StretchKind& h, StretchKind& v) {
    switch (code) {
        case kLayoutFixed: h = v = StretchKind::Fixed; break;
        case kLayoutExpand: h = v = StretchKind::Expand; break;
        case kLayoutExpandH: h = StretchKind::Expand; break;
        case kLayoutExpandV: v = StretchKind::Expand; break;
        case kLayoutFill: h = v = StretchKind::Fill; break;
        case kLayoutFillH: h = StretchKind::Fill; break;
        case kLayoutFillV: v = StretchKind::Fill; break;
        default: break;
    }
}

Size MeasureDialog(std::span<ItemState> items, TextMetrics& metrics) {
    Engine engine(items, metrics);
    // The root column: id 0, no item of its own.
    return engine.MeasureContainer(items, 0, Axis::Column, 0).size;
}

std::vector<Placement> PlaceDialog(std::span<const ItemState> items, TextMetrics& metrics,
                                   int clientWidth, int clientHeight) {
    std::vector<Placement> out;
    out.reserve(items.size());
    Engine engine(items, metrics);
    engine.PlaceContainer(0, Axis::Column, {0, 0, clientWidth, clientHeight}, 0, out);
    return out;
}

}  // namespace tarvik
