#pragma once
// What a simulated drive is: identity, capabilities page, features, speed
// behaviour per medium family, medium, tray, timing and fault rules. Filled
// from a JSON profile (see README.md) or directly by tests.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::sim {

enum class Family : uint8_t { Cd = 0, Dvd = 1, Bd = 2 };
constexpr int kFamilies = 3;
const char* FamilyName(Family f);

// Sense key / additional sense code / qualifier.
struct SenseCode {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool operator==(const SenseCode&) const = default;
};

// How a requested speed is mapped onto the supported list.
enum class Rounding : uint8_t {
    Down,     // the fastest supported speed not above the request (the MMC rule)
    Up,       // the slowest supported speed not below it
    Nearest,  // the closest one
    Exact,    // only a listed speed; anything else is rejected with 05/24/00
};
// A request below the slowest speed (Down rounding only has no candidate there).
enum class BelowMin : uint8_t { Slowest, Ignore, Reject };
// What the drive does with a speed command for a family.
enum class Obey : uint8_t {
    Obey,
    Ignore,   // GOOD, nothing changes
    Reject,   // 05/24/00
    Unknown,  // 05/20/00, as if the opcode did not exist
};
// What the capabilities page reports as current (or maximum) read speed.
enum class Report : uint8_t { InForce, Requested, Max, Zero, Fixed };
// GET PERFORMANCE (nominal read performance) answers.
enum class Perf : uint8_t {
    Nominal,      // one descriptor ending at the speed in force
    Zones,        // several descriptors rising to the speed in force
    WriteBit,     // one descriptor, but the header's Write bit is set
    ExceptBit,    // one descriptor, but the header's Except bit is set
    HeaderOnly,   // data length 4, no descriptor
    ZeroLength,   // data length 0
    Max,          // always the maximum speed: the drive does not report the current one
    Unsupported,  // 05/20/00
};
// When a speed set for a family survives a medium change.
enum class Persist : uint8_t { None, Streaming, Always };

struct SpeedModel {
    bool present = false;        // the drive reads this family at all
    std::vector<uint32_t> read;  // KB/s, fastest first, never empty when present
    Rounding rounding = Rounding::Down;
    BelowMin belowMin = BelowMin::Slowest;
    Obey setCdSpeed = Obey::Obey;
    Obey setStreaming = Obey::Obey;
    Report reportCurrent = Report::InForce;
    uint32_t fixedCurrent = 0;
    Report reportMax = Report::Max;
    uint32_t fixedMax = 0;
    Perf performance = Perf::Nominal;
    unsigned zones = 2;
    unsigned startPercent = 100;  // start performance of a nominal descriptor (CAV drives < 100)
    Persist persist = Persist::None;
    uint32_t spinUpMs = 2000;
    unsigned readEfficiency = 100;  // percent of the speed in force that reads really reach
    unsigned readJitter = 0;        // reads reach up to this percent more or less, drawn
                                    // anew with each speed command
    uint32_t Max() const { return read.empty() ? 0 : read.front(); }
    uint32_t Min() const { return read.empty() ? 0 : read.back(); }
};

enum class MediumKind : uint8_t { None, Cd, Dvd, Bd };
enum class CdType : uint8_t { Pressed, Recordable, Rewritable };
enum class CdContent : uint8_t { Data, Audio, Mixed };

struct Medium {
    MediumKind kind = MediumKind::None;
    CdType cdType = CdType::Pressed;
    CdContent content = CdContent::Data;
    uint32_t blocks = 0;           // capacity in 2048-byte blocks; 0 selects a default per kind
    uint8_t bookType = 0;          // DVD: 0 ROM, 1 RAM, 2 -R, 3 -RW, 9 +RW, 10 +R, 14 +R DL
    std::string discType = "BDO";  // BD: "BDO", "BDR", "BDW"
    int32_t profile = -1;          // current profile override; -1 derives it from the above
    bool operator==(const Medium&) const = default;
};

enum class Placement : uint8_t { Header, HeaderAndDescriptor, NoHeader };
enum class MediumCodes : uint8_t { Standard, None, Fixed };
// Page byte 6, bits 7..5.
enum class Loading : uint8_t { Caddy = 0, Tray = 1, PopUp = 2, Changer = 4 };
// A load (close) command on a mechanism that cannot close its tray.
enum class CloseFailure : uint8_t { Ignore, Reject };

struct Feature {
    uint16_t code = 0;
    enum class Current : uint8_t { Never, Always, Medium } current = Current::Medium;
};

enum class FaultKind : uint8_t {
    Sense,           // CHECK CONDITION with `sense`
    TransportError,  // the transport fails the request
    Timeout,         // nothing comes back (30 s on the clock)
    Vanish,          // the device is gone, now and for every later command
    ShortAnswer,     // the command runs, but only `bytes` of its answer arrive
    LongAnswer,      // the command runs, and `bytes` more than the buffer are reported
    Garbage,         // GOOD, and every byte of the data-in buffer is noise from `seed`
};

struct FaultRule {
    int opcode = -1;     // -1: any command
    uint32_t after = 0;  // matching commands that pass before the rule fires
    uint32_t times = 1;  // how often it fires; 0: for ever
    FaultKind kind = FaultKind::Sense;
    SenseCode sense{4, 0x44, 0};
    uint32_t bytes =
        0;              // ShortAnswer: bytes delivered; LongAnswer: bytes claimed beyond the buffer
    uint32_t seed = 0;  // Garbage: 0 fills with FFh, anything else seeds the noise
};

struct Profile {
    std::string name;
    // identity
    std::string vendor = "TARVIKSM";
    std::string product = "SIM DRIVE";
    std::string revision = "1.00";
    uint8_t deviceType = 5;
    uint8_t version = 5;
    uint8_t inquiryLength = 96;  // whole answer the drive has (byte 4 = length - 5)
    bool inquiryFails = false;
    SenseCode inquirySense{5, 0x24, 0};
    char letter = 0;  // 0: assigned by position on the bus
    // capabilities page 2Ah
    bool hasCapabilitiesPage = true;
    Placement placement = Placement::Header;
    MediumCodes mediumCodes = MediumCodes::Standard;
    uint8_t fixedMediumCode = 0;
    bool understateLength = false;  // mode data length 8 bytes short, as some drives send it
    Loading loading = Loading::Tray;
    uint8_t readCaps = 0x3B;   // CD-R, CD-RW, DVD-ROM, DVD-R
    uint8_t writeCaps = 0x13;  // CD-R, CD-RW, DVD-R
    uint8_t caps4 = 0x71;
    uint8_t caps5 = 0x03;
    uint8_t caps7 = 0x00;
    bool canLock = true;
    bool canEject = true;
    uint16_t volumeLevels = 256;
    uint16_t bufferKb = 2048;
    std::vector<uint32_t> writeSpeeds;  // KB/s, fastest first
    // GET CONFIGURATION
    bool getConfiguration = true;
    bool ignoresRt = false;  // answers the whole list whatever RT asks for
    std::vector<Feature> features;
    std::vector<uint16_t> profiles;  // empty: derived from the families present
    // speeds
    SpeedModel speeds[kFamilies];
    bool streamingRejectsAllOnesEnd = false;  // End LBA FFFFFFFFh gets 05/26/00
    // medium and tray
    Medium medium;
    uint8_t audioStatus = 0x15;
    bool trayOpen = false;
    bool locked = false;
    bool canClose = true;
    CloseFailure closeFailure = CloseFailure::Reject;
    bool unitAttention = true;
    bool startsReady = true;               // a medium present at power-on needs no spin-up
    bool powerOnAttention = false;         // 06/29/00 once before anything else
    bool noMediumBeforeAttention = false;  // one 02/3A/00 before each 06/28/00 (emulators)
    bool trayInSense = false;  // no medium: 02/3A/01 tray closed, 02/3A/02 open, not 02/3A/00
    // timing
    uint32_t latencyMs = 2;
    uint32_t trayMs = 1000;
    std::map<uint8_t, uint32_t> opcodeLatencyMs;
    // faults
    std::vector<FaultRule> faults;

    const SpeedModel& Speeds(Family f) const { return speeds[static_cast<int>(f)]; }
    SpeedModel& Speeds(Family f) { return speeds[static_cast<int>(f)]; }
};

// Parses a profile. On failure returns false and says why in `error`
// (with the JSON path of the offending key); `out` is then unspecified.
[[nodiscard]] bool LoadProfileText(std::string_view text, Profile& out, std::string& error);
[[nodiscard]] bool LoadProfileFile(const std::string& path, Profile& out, std::string& error);

// Medium description as used by profiles and the state file; the same keys.
[[nodiscard]] bool ParseMediumText(std::string_view json, Medium& out, std::string& error);
std::string MediumToJsonText(const Medium& m);

// "05/24/00" -> {5, 0x24, 0}
[[nodiscard]] bool ParseSense(std::string_view text, SenseCode& out);
std::string SenseText(const SenseCode& s);

// Family that reads the medium; Cd for none.
Family FamilyOf(MediumKind kind);

}  // namespace tarvik::sim
