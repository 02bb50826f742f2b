#pragma once
// The in-memory extended dialog template (DLGTEMPLATEEX and its items) built
// from a dialog table, byte by byte in little-endian order. The geometry in
// it is a placeholder: the engine sizes and places everything itself once
// the windows exist.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/dialog/dialog_table.h"

namespace tarvik {

struct DialogFont {
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::u16string face;
};

struct DialogHeader {
    uint32_t style = 0;  // as it goes into the template, DS_ flags included
    uint32_t exStyle = 0;
    std::u16string caption;
    std::optional<DialogFont> font;  // DS_SETFONT belongs in style exactly when set
};

// Placeholder size of the dialog in the template.
constexpr uint16_t kTemplateWidth = 100;
constexpr uint16_t kTemplateHeight = 100;

// Size of the template, header and items each rounded up to 4 bytes: the
// size pass. BuildDialogTemplate writes exactly this many bytes.
std::size_t DialogTemplateSize(const DialogHeader& header, DialogTable table,
                               std::span<const std::u16string> texts);

// The template bytes; `texts` holds each row's initial text (ItemInitialText),
// one per row. Empty when the texts do not match the rows.
std::vector<uint8_t> BuildDialogTemplate(const DialogHeader& header, DialogTable table,
                                         std::span<const std::u16string> texts);

// Point size of the dialog font from a LOGFONT height in pixels at `dpi`:
// MulDiv(|height|, 72, dpi). A negative height is the character height; a
// positive one is the cell height, which the caller first reduces by the
// font's internal leading (GDI only knows it once the font exists).
uint16_t DialogPointSize(int charHeight, int dpi);

// MulDiv as the system computes it: a * b / c in 64 bits, rounded half away
// from zero; -1 when c is 0 or the result does not fit.
int MulDivRound(int a, int b, int c);

}  // namespace tarvik
