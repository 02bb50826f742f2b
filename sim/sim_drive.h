#pragma once
// One simulated optical drive: answers CDBs from its profile and its live
// state (medium, tray, lock, speeds in force), on the time of a Clock.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim_profile.h"

namespace tarvik::sim {

// One command as the bus hands it over.
struct Command {
    std::span<const uint8_t> cdb;
    std::span<uint8_t> dataIn;         // buffer for a data-in phase (may be empty)
    std::span<const uint8_t> dataOut;  // bytes of a data-out phase (may be empty)
};

// How a command ended.
enum class Completion : uint8_t {
    Done,            // the target answered: see status / sense
    TransportError,  // the transport failed the request (no SCSI status)
    Timeout,         // nothing came back within the transport's time-out
    Gone,            // the device is no longer there
};

struct Outcome {
    Completion completion = Completion::Done;
    uint8_t status = 0;  // 0 GOOD, 2 CHECK CONDITION
    SenseCode sense;     // valid with CHECK CONDITION
    uint32_t bytesIn = 0;
    bool Good() const { return completion == Completion::Done && status == 0; }
};

// Fixed-format sense data (response code 70h, 18 bytes) for a sense code.
std::vector<uint8_t> FixedSense(const SenseCode& s);

// Opcodes the simulator understands.
enum : uint8_t {
    kOpTestUnitReady = 0x00,
    kOpRequestSense = 0x03,
    kOpInquiry = 0x12,
    kOpStartStopUnit = 0x1B,
    kOpPreventAllow = 0x1E,
    kOpReadCapacity = 0x25,
    kOpRead10 = 0x28,
    kOpReadSubChannel = 0x42,
    kOpGetConfiguration = 0x46,
    kOpModeSense10 = 0x5A,
    kOpGetPerformance = 0xAC,
    kOpReadDiscStructure = 0xAD,
    kOpSetStreaming = 0xB6,
    kOpSetCdSpeed = 0xBB,
};

class Drive {
public:
    Drive(Profile profile, Clock& clock);

    // Runs one command: advances the clock by its latency (and by the time a
    // read takes at the speed in force) and answers it.
    Outcome Execute(const Command& cmd);

    // What a user or the test does to the drive.
    void InsertMedium(const Medium& m);  // into the tray; with the tray closed a change
    void RemoveMedium();
    bool OpenTray();   // the eject button: false (nothing moves) while locked
    void CloseTray();  // pushing the tray in works on every mechanism
    void SetAudioStatus(uint8_t status) { audioStatus_ = status; }
    void Vanish() { gone_ = true; }
    // Replaces the fault rules; their counts start afresh.
    void SetFaults(std::vector<FaultRule> faults);
    // Commands a fault rule has fired on since the rules were set.
    uint32_t FaultsFired() const;
    // Whether a time-out fault spends the transport's 30 s on the drive's
    // clock. The in-process transport has no wait of its own, so it does; a
    // caller that waits for completion itself (the program's ASPI set) must
    // not pay the 30 s twice.
    void SetTimeoutTakesTime(bool takes) { timeoutTakesTime_ = takes; }

    // State, for tests, tarvikctl and the state file.
    const Profile& profile() const { return profile_; }
    const Medium& medium() const { return medium_; }
    bool TrayOpen() const { return trayOpen_; }
    bool Locked() const { return locked_; }
    bool Gone() const { return gone_; }
    bool MediumReady() const;  // medium in a closed tray and spun up
    uint32_t SpeedInForce(Family f) const { return inForce_[static_cast<int>(f)]; }
    uint32_t RequestedSpeed(Family f) const { return requested_[static_cast<int>(f)]; }
    uint32_t WriteSpeed() const { return writeSpeed_; }
    uint8_t AudioStatus() const { return audioStatus_; }
    uint8_t MediumTypeCode() const;
    int32_t CurrentProfile() const;  // 0 with no ready medium

    // Restores state written earlier (the test DLL keeps it between runs).
    // At start (asChange false) the medium counts as spun up, no unit
    // attention pending. Later (asChange true: someone else changed the
    // state file) a different medium or a tray closed over one is a medium
    // change: spin-up and unit attention as after a load.
    void RestoreState(const Medium& m, bool trayOpen, bool locked,
                      const uint32_t inForce[kFamilies], const uint32_t requested[kFamilies],
                      uint32_t writeSpeed, uint8_t audio, bool asChange = false);

private:
    struct Answer;
    Outcome Dispatch(const Command& cmd, uint8_t op);
    // A rule due for this command: fires it into `out` (true), or, for the
    // kinds that change what a command answers, hands it back in `after`.
    bool CheckFault(uint8_t op, Outcome& out, const FaultRule*& after);
    void SpoilAnswer(const FaultRule& rule, const Command& cmd, const std::vector<uint8_t>& before,
                     Outcome& out);
    bool UnitAttentionDue(uint8_t op, Outcome& out);
    bool NotReady(Outcome& out) const;
    void MediumChanged();
    void ResetSpeeds(bool keepStreaming);
    Family CurrentFamily() const { return FamilyOf(medium_.kind); }
    bool FamilySupported() const;
    uint32_t EffectiveBlocks() const;

    Outcome Inquiry(const Command& cmd);
    Outcome RequestSense(const Command& cmd);
    Outcome ModeSense(const Command& cmd);
    Outcome SetCdSpeed(const Command& cmd);
    Outcome SetStreaming(const Command& cmd);
    Outcome ApplySpeed(Obey obey, uint32_t read, uint32_t write, bool streaming);
    Outcome GetPerformance(const Command& cmd);
    Outcome GetConfiguration(const Command& cmd);
    Outcome ReadStructure(const Command& cmd);
    Outcome ReadSubChannel(const Command& cmd);
    Outcome ReadCapacity(const Command& cmd);
    Outcome Read10(const Command& cmd);
    Outcome StartStop(const Command& cmd);
    Outcome PreventAllow(const Command& cmd);

    std::vector<uint8_t> CapabilitiesPage() const;
    void SpendReadTime(uint32_t blocks);

    Profile profile_;
    Clock& clock_;
    bool timeoutTakesTime_ = true;
    Medium medium_;
    bool trayOpen_ = false;
    bool locked_ = false;
    bool gone_ = false;
    bool attentionPending_ = false;
    bool powerOnPending_ = false;
    bool emptyFirstPending_ = false;
    uint32_t loadTick_ = 0;
    uint32_t spinUpMs_ = 0;
    uint32_t inForce_[kFamilies] = {};
    uint32_t requested_[kFamilies] = {};
    bool setByStreaming_[kFamilies] = {};
    uint32_t writeSpeed_ = 0;
    uint8_t audioStatus_ = 0x15;
    SenseCode lastSense_;
    std::vector<uint32_t> faultSeen_;
    std::vector<uint32_t> faultFired_;
    uint32_t noise_ = 0;
    double readMsCarry_ = 0;
    double readJitter_ = 1.0;           // factor on the read rate until the next speed command
    uint32_t jitterSeed_ = 0x2545F491;  // the same profile jitters the same way every run
};

}  // namespace tarvik::sim
