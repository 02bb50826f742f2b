// The icon files the resource script builds into the program: their masks
// agree with their colour data (no black boxes or holes on systems that draw
// with the mask), and the six tray states differ clearly at 16 pixels.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Rgba {
    int r, g, b, a;
};

struct Image {
    int size = 0;
    int bits = 0;
    std::vector<Rgba> pixels;       // top row first
    std::vector<bool> transparent;  // the AND mask
};

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Decodes the 4- and 32-bit images of an .ico file; fails the test on any
// structural fault.
std::vector<Image> ReadIco(const std::string& name) {
    std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/resources/icons/" + name, std::ios::binary);
    const std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), {});
    std::vector<Image> images;
    EXPECT_GE(f.size(), 6u) << name;
    if (f.size() < 6) return images;
    EXPECT_EQ(Le16(&f[2]), 1) << name;  // icon, not cursor
    const unsigned count = Le16(&f[4]);
    for (unsigned i = 0; i < count; ++i) {
        if (6 + 16 * (i + 1) > f.size()) {
            ADD_FAILURE() << name << ": directory is truncated";
            return images;
        }
        const uint8_t* e = &f[6 + 16 * i];
        const uint32_t length = Le32(e + 8), offset = Le32(e + 12);
        if (offset + length > f.size() || length < 40) {
            ADD_FAILURE() << name << ": image " << i << " lies outside the file";
            return images;
        }
        const uint8_t* h = &f[offset];
        Image im;
        im.size = int(Le32(h + 4));
        im.bits = Le16(h + 14);
        EXPECT_EQ(e[0], im.size % 256) << name;
        EXPECT_EQ(Le16(e + 6), im.bits) << name << ": directory and image disagree on depth";
        EXPECT_EQ(int(Le32(h + 8)), im.size * 2) << name;
        const int n = im.size;
        const uint8_t* palette = h + 40;
        const uint8_t* xor_bits = palette + (im.bits == 4 ? 64 : 0);
        const int xor_stride = (n * im.bits + 31) / 32 * 4;
        const uint8_t* and_bits = xor_bits + xor_stride * n;
        const int and_stride = (n + 31) / 32 * 4;
        if (and_bits + and_stride * n > f.data() + offset + length) {
            ADD_FAILURE() << name << ": image " << i << " is truncated";
            return images;
        }
        for (int y = 0; y < n; ++y) {
            const int row = n - 1 - y;  // bottom-up
            for (int x = 0; x < n; ++x) {
                Rgba p;
                if (im.bits == 32) {
                    const uint8_t* q = xor_bits + row * xor_stride + x * 4;
                    p = {q[2], q[1], q[0], q[3]};
                } else {
                    const uint8_t byte = xor_bits[row * xor_stride + x / 2];
                    const int index = x % 2 ? byte & 15 : byte >> 4;
                    const uint8_t* c = palette + index * 4;
                    p = {c[2], c[1], c[0], 255};
                }
                const bool masked = and_bits[row * and_stride + x / 8] & (0x80 >> (x % 8));
                im.pixels.push_back(p);
                im.transparent.push_back(masked);
            }
        }
        images.push_back(im);
    }
    return images;
}

const char* const kStates[] = {"task", "task_red", "task_green", "question", "wait", "error"};

TEST(TrayIcons, MasksAgreeWithColourData) {
    for (const char* state : kStates) {
        for (const std::string form : {"_xp.ico", "_classic.ico"}) {
            const std::string name = state + form;
            for (const Image& im : ReadIco(name)) {
                SCOPED_TRACE(testing::Message() << name << " " << im.size);
                int masked = 0;
                for (std::size_t i = 0; i < im.pixels.size(); ++i) {
                    const Rgba& p = im.pixels[i];
                    masked += im.transparent[i];
                    if (im.bits == 32) {
                        // Drawing that ignores alpha uses the mask: it must
                        // follow half coverage, so shapes keep their outline.
                        EXPECT_EQ(im.transparent[i], p.a < 128) << "pixel " << i;
                        if (p.a == 0) {
                            EXPECT_EQ(p.r | p.g | p.b, 0) << "pixel " << i;
                        }
                    } else if (im.transparent[i]) {
                        // Under the mask the colour is XORed onto the screen:
                        // anything but black would show as a coloured fringe.
                        EXPECT_EQ(p.r | p.g | p.b, 0) << "pixel " << i;
                    }
                }
                EXPECT_GT(masked, 0);  // every picture leaves its corners free
                EXPECT_LT(masked, int(im.pixels.size()) * 7 / 8);
            }
        }
    }
}

// Mean colour of the visible pixels, weighted by alpha.
std::array<double, 3> MeanColour(const Image& im) {
    double r = 0, g = 0, b = 0, w = 0;
    for (std::size_t i = 0; i < im.pixels.size(); ++i) {
        if (im.transparent[i]) continue;
        const double a = im.pixels[i].a / 255.0;
        r += im.pixels[i].r * a, g += im.pixels[i].g * a, b += im.pixels[i].b * a, w += a;
    }
    return {r / w, g / w, b / w};
}

// Share of pixels that differ in visibility or clearly in colour.
double Difference(const Image& a, const Image& b) {
    int differ = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const Rgba& p = a.pixels[i];
        const Rgba& q = b.pixels[i];
        const bool pv = !a.transparent[i], qv = !b.transparent[i];
        const int d = std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        differ += pv != qv || (pv && d > 120);
    }
    return double(differ) / a.pixels.size();
}

TEST(TrayIcons, StatesDifferAtAGlanceAtSixteenPixels) {
    for (const std::string form : {"_xp.ico", "_classic.ico"}) {
        std::vector<Image> small;
        for (const char* state : kStates) {
            const std::vector<Image> images = ReadIco(state + form);
            ASSERT_FALSE(images.empty()) << state << form;
            ASSERT_EQ(images.front().size, 16);
            small.push_back(images.front());
        }
        for (std::size_t i = 0; i < small.size(); ++i) {
            for (std::size_t j = i + 1; j < small.size(); ++j) {
                SCOPED_TRACE(testing::Message() << kStates[i] << " / " << kStates[j] << form);
                // Either the overall colour or the shape differs plainly.
                const auto ci = MeanColour(small[i]), cj = MeanColour(small[j]);
                const double colour =
                    std::fabs(ci[0] - cj[0]) + std::fabs(ci[1] - cj[1]) + std::fabs(ci[2] - cj[2]);
                EXPECT_TRUE(colour > 90 || Difference(small[i], small[j]) > 0.25)
                    << "colour distance " << colour << ", pixels differing "
                    << Difference(small[i], small[j]);
            }
        }
    }
}

TEST(TrayIcons, OpenTrayIsRedAndDiskInsideIsGreen) {
    // The icon colour is how the tray state is told (red open, green disk).
    const auto red = MeanColour(ReadIco("task_red_xp.ico").front());
    const auto green = MeanColour(ReadIco("task_green_xp.ico").front());
    EXPECT_GT(red[0], red[1] + 60);
    EXPECT_GT(red[0], red[2] + 60);
    EXPECT_GT(green[1], green[0] + 40);
    EXPECT_GT(green[1], green[2] + 40);
}

}  // namespace

namespace {

TEST(TrayIcons, ClassicFormsDoNotMeltIntoASilverTaskbar) {
    // The classic taskbar is silver (192, 192, 192); a picture mostly of that
    // colour would vanish on it.
    for (const char* state : kStates) {
        const std::string name = std::string(state) + "_classic.ico";
        for (const Image& im : ReadIco(name)) {
            int visible = 0, silver = 0;
            for (std::size_t i = 0; i < im.pixels.size(); ++i) {
                if (im.transparent[i]) continue;
                ++visible;
                const Rgba& p = im.pixels[i];
                silver += p.r == 192 && p.g == 192 && p.b == 192;
            }
            EXPECT_LT(silver * 5, visible) << name << " " << im.size;
        }
    }
}

}  // namespace
