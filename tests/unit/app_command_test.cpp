#include <gtest/gtest.h>

#include "app/command_line.h"
#include "ui/tray/commands.h"

namespace tarvik {
namespace {

struct LineCase {
    const char* line;
    bool log;
    StartRequest request;
};

TEST(CommandLine, RequestsAndLogPrefix) {
    const LineCase cases[] = {
        {"", false, StartRequest::Plain},
        {nullptr, false, StartRequest::Plain},
        {"/hide", false, StartRequest::Hide},
        {"/HIDE", false, StartRequest::Hide},
        {"/hide ", false, StartRequest::Plain},  // trailing space: no match
        {" /hide", false, StartRequest::Plain},
        {"/hide now", false, StartRequest::Plain},
        {"/Exit", false, StartRequest::Exit},
        {"/RESTART", false, StartRequest::Restart},
        {"/LOG /hide", false, StartRequest::Plain},  // "/log" is case-sensitive
        {"/log/hide", true, StartRequest::Hide},
        {"/log   /hide", true, StartRequest::Hide},
        {"/logfile", true, StartRequest::Plain},
        {"/log", true, StartRequest::Plain},
        {"/log /exit", true, StartRequest::Exit},
        {"/log\t/hide", true, StartRequest::Plain},  // only U+0020 is skipped
        {"/log /log /hide", true, StartRequest::Plain},
    };
    for (const LineCase& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.line);
        SCOPED_TRACE(c.line ? c.line : "(null)");
        EXPECT_EQ(parsed.log, c.log);
        EXPECT_EQ(parsed.request, c.request);
    }
}

TEST(CommandLine, RemainderStartsAfterLogAndSpaces) {
    EXPECT_STREQ(ParseCommandLine("/log   file").remainder, "file");
    EXPECT_STREQ(ParseCommandLine("/logfile").remainder, "file");
}

TEST(DriveCommandId, EncodesAndDecodesEveryField) {
    const DriveCommand cmd{127, 15, DRIVE_CMD_SET_SPEED};
    EXPECT_EQ(cmd.Encode(), 0xFFFC);
    const auto back = DriveCommand::Decode(0x8000 | 3 << 8 | 2 << 4 | DRIVE_CMD_SET_SPEED);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->speedIndex, 3u);
    EXPECT_EQ(back->drive, 2u);
    EXPECT_EQ(back->action, unsigned{DRIVE_CMD_SET_SPEED});
    EXPECT_FALSE(DriveCommand::Decode(CMD_EXIT));
    EXPECT_FALSE(DriveCommand::Decode(0x7FFF));
}

TEST(HotKeys, SlotsPostTheirActionsAndHighSlotsAreIgnored) {
    // slot 3 is "Faster", slot 5 "Slower": they must not be swapped.
    const uint8_t expected[] = {1, 2, 3, 6, 4, 7, 5};
    for (unsigned slot = 0; slot < kHotKeySlotCount; ++slot) {
        const auto cmd = CommandForHotKey(HotKeyId(slot, 9));
        ASSERT_TRUE(cmd);
        EXPECT_EQ(*cmd, 0x8000 | 9 << 4 | expected[slot]) << "slot " << slot;
    }
    EXPECT_FALSE(CommandForHotKey(HotKeyId(7, 0)));
    EXPECT_FALSE(CommandForHotKey(HotKeyId(255, 3)));
}

TEST(HotKeys, StoredModifierBitsMapToRegisterHotKeyFlags) {
    EXPECT_EQ(HotKeyModifiers(0x0145), 0x4u);         // Shift
    EXPECT_EQ(HotKeyModifiers(0x0645), 0x2u | 0x1u);  // Ctrl+Alt
    EXPECT_EQ(HotKeyModifiers(0x1045), 0x8u);         // Win
    EXPECT_EQ(HotKeyModifiers(0x0845), 0x0u);         // extended key bit is no modifier
}

}  // namespace
}  // namespace tarvik
