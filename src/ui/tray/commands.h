#pragma once
// Command identifiers of the main window (WM_COMMAND, low word of wParam) and
// the encodings of per-drive commands and hot key identifiers.
#include <cstdint>
#include <optional>

namespace tarvik {

enum : uint16_t {
    CMD_RMENU = 100,
    CMD_LEFT_CLICK = 101,
    CMD_ABOUT = 102,
    CMD_HELP = 103,
    CMD_DRIVE_INFO = 104,
    CMD_DETECT_DRIVES = 105,
    CMD_OPTIONS = 106,
    RMENU_DYNAMIC_TAG = 107,
    CMD_RESET_CONFIG = 108,
    CMD_EXIT = 109,
    CMD_MEDIA_ARRIVED = 110,
    CMD_MEDIA_REMOVED = 111,
    CMD_TIMER_TICK = 112,
    CMD_RESUME = 113,
    CMD_HIDE = 200,
    CMD_SHOW = 201,
};

enum DriveAction : uint8_t {
    DRIVE_CMD_OPTIONS = 0,
    DRIVE_CMD_EJECT = 1,
    DRIVE_CMD_CLOSE = 2,
    DRIVE_CMD_MAX_SPEED = 3,
    DRIVE_CMD_RESTORE = 4,
    DRIVE_CMD_MIN_SPEED = 5,
    DRIVE_CMD_FASTER = 6,
    DRIVE_CMD_SLOWER = 7,
    DRIVE_CMD_CLOSE_POLL = 8,
    DRIVE_CMD_BROWSE = 9,
    DRIVE_CMD_EXPLORE = 10,
    DRIVE_CMD_AUTORUN = 11,
    DRIVE_CMD_SET_SPEED = 12,
};

constexpr uint32_t kWmTrayNotify = 0x401;  // WM_USER + 1

// 0x8000 | speed index k << 8 | drive index i << 4 | action a.
struct DriveCommand {
    unsigned speedIndex = 0;  // 0..127
    unsigned drive = 0;       // 0..15
    unsigned action = 0;      // 0..15; only 0..12 mean something

    constexpr uint16_t Encode() const {
        return static_cast<uint16_t>(0x8000u | (speedIndex & 0x7Fu) << 8 | (drive & 0xFu) << 4 |
                                     (action & 0xFu));
    }
    // Only identifiers with bit 15 set are drive commands.
    static constexpr std::optional<DriveCommand> Decode(uint16_t id) {
        if (!(id & 0x8000u)) return std::nullopt;
        return DriveCommand{static_cast<unsigned>(id >> 8 & 0x7Fu),
                            static_cast<unsigned>(id >> 4 & 0xFu),
                            static_cast<unsigned>(id & 0xFu)};
    }
};

// Hot key slots in the order of a drive's HotKeys value and the action each posts.
constexpr unsigned kHotKeySlotCount = 7;
constexpr uint8_t HotKeyActionTable[kHotKeySlotCount] = {
    DRIVE_CMD_EJECT,   DRIVE_CMD_CLOSE,  DRIVE_CMD_MAX_SPEED, DRIVE_CMD_FASTER,
    DRIVE_CMD_RESTORE, DRIVE_CMD_SLOWER, DRIVE_CMD_MIN_SPEED,
};

constexpr int HotKeyId(unsigned slot, unsigned drive) {
    return static_cast<int>(slot << 8 | drive);
}

// The command a WM_HOTKEY identifier posts; none for a slot above 6.
constexpr std::optional<uint16_t> CommandForHotKey(uintptr_t hotKeyId) {
    const unsigned slot = static_cast<unsigned>(hotKeyId >> 8 & 0xFF);
    if (slot >= kHotKeySlotCount) return std::nullopt;
    return static_cast<uint16_t>(0x8000u | (hotKeyId & 0xFu) << 4 | HotKeyActionTable[slot]);
}

// A stored hot key word: virtual key in bits 0-7; bit 8 Shift, bit 9 Ctrl,
// bit 10 Alt, bit 12 Win. Returns MOD_* flags (1 Alt, 2 Control, 4 Shift, 8 Win).
constexpr unsigned HotKeyModifiers(uint32_t stored) {
    unsigned mods = 0;
    if (stored & 0x100) mods |= 0x4;
    if (stored & 0x200) mods |= 0x2;
    if (stored & 0x400) mods |= 0x1;
    if (stored & 0x1000) mods |= 0x8;
    return mods;
}

}  // namespace tarvik
