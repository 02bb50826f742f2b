#include "sim_drive.h"

#include <array>
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "scsi/mmc.h"
#include "scsi/sense.h"
#include "sim_reply.h"

namespace tarvik::sim {

namespace {

// Defaults when a profile gives no capacity: a 650 MB CD, a single-layer DVD,
// a single-layer 25 GB BD.
uint32_t DefaultBlocks(MediumKind kind) {
    switch (kind) {
        case MediumKind::Cd: return 333000;
        case MediumKind::Dvd: return 2295104;
        case MediumKind::Bd: return 12219392;
        default: return 0;
    }
}

// CDB length of an opcode's group; 0 for groups the simulator has no command in.
size_t CdbLengthOf(uint8_t op) {
    switch (op >> 5) {
        case 0: return 6;
        case 1:
        case 2: return 10;
        case 5: return 12;
        default: return 0;
    }
}

}  // namespace

std::vector<uint8_t> FixedSense(const SenseCode& s) {
    std::vector<uint8_t> sense(18, 0);
    sense[0] = 0x70;  // current error, fixed format
    sense[2] = s.key & 0x0F;
    sense[7] = 10;  // additional sense length: bytes 8..17
    sense[12] = s.asc;
    sense[13] = s.ascq;
    return sense;
}

Drive::Drive(Profile profile, Clock& clock) : profile_(std::move(profile)), clock_(clock) {
    medium_ = profile_.medium;
    if (medium_.kind != MediumKind::None && medium_.blocks == 0)
        medium_.blocks = DefaultBlocks(medium_.kind);
    trayOpen_ = profile_.trayOpen;
    locked_ = profile_.locked && profile_.canLock;
    audioStatus_ = profile_.audioStatus;
    faultSeen_.assign(profile_.faults.size(), 0);
    faultFired_.assign(profile_.faults.size(), 0);
    writeSpeed_ = profile_.writeSpeeds.empty() ? 0 : profile_.writeSpeeds.front();
    ResetSpeeds(false);
    loadTick_ = clock_.TickCount();
    powerOnPending_ = profile_.powerOnAttention;
    if (medium_.kind != MediumKind::None && !trayOpen_ && !profile_.startsReady) {
        MediumChanged();
        audioStatus_ = profile_.audioStatus;
    }
}

void Drive::ResetSpeeds(bool keepStreaming) {
    for (int i = 0; i < kFamilies; ++i) {
        const SpeedModel& m = profile_.speeds[i];
        const bool keep = m.persist == Persist::Always ||
                          (keepStreaming && m.persist == Persist::Streaming && setByStreaming_[i]);
        if (keep && inForce_[i] != 0) continue;
        inForce_[i] = m.Max();
        requested_[i] = m.Max();
        setByStreaming_[i] = false;
    }
}

void Drive::RestoreState(const Medium& m, bool trayOpen, bool locked,
                         const uint32_t inForce[kFamilies], const uint32_t requested[kFamilies],
                         uint32_t writeSpeed, uint8_t audio, bool asChange) {
    Medium restored = m;
    if (restored.kind != MediumKind::None && restored.blocks == 0)
        restored.blocks = DefaultBlocks(restored.kind);
    const bool changed = asChange && restored.kind != MediumKind::None && !trayOpen &&
                         (!(restored == medium_) || trayOpen_);
    const bool wasPending = attentionPending_;
    const uint32_t oldTick = loadTick_, oldSpinUp = spinUpMs_;
    medium_ = restored;
    trayOpen_ = trayOpen;
    locked_ = locked && profile_.canLock;
    for (int i = 0; i < kFamilies; ++i) {
        const SpeedModel& model = profile_.speeds[i];
        // Only speeds the drive has: a stale or edited state file must not
        // leave a speed in force the profile cannot produce.
        bool known = false;
        for (uint32_t s : model.read) known = known || s == inForce[i];
        inForce_[i] = known ? inForce[i] : model.Max();
        requested_[i] = requested[i] <= 0xFFFF ? requested[i] : model.Max();
    }
    writeSpeed_ = writeSpeed;
    audioStatus_ = audio;
    if (changed) {
        loadTick_ = clock_.TickCount();
        spinUpMs_ = profile_.Speeds(CurrentFamily()).spinUpMs;
        attentionPending_ = profile_.unitAttention;
        emptyFirstPending_ = attentionPending_ && profile_.noMediumBeforeAttention;
    } else if (asChange) {
        // Nothing loaded: a spin-up or unit attention under way goes on.
        attentionPending_ = wasPending;
        loadTick_ = oldTick;
        spinUpMs_ = oldSpinUp;
    } else {
        attentionPending_ = false;
        powerOnPending_ = false;  // the same drive as in the last run, not a new power-on
        spinUpMs_ = 0;
        loadTick_ = clock_.TickCount();
    }
}

bool Drive::FamilySupported() const { return profile_.Speeds(CurrentFamily()).present; }

uint32_t Drive::EffectiveBlocks() const { return medium_.blocks; }

bool Drive::MediumReady() const {
    if (trayOpen_ || medium_.kind == MediumKind::None || !FamilySupported()) return false;
    return clock_.TickCount() - loadTick_ >= spinUpMs_;
}

void Drive::MediumChanged() {
    ResetSpeeds(true);
    loadTick_ = clock_.TickCount();
    spinUpMs_ = medium_.kind == MediumKind::None ? 0 : profile_.Speeds(CurrentFamily()).spinUpMs;
    attentionPending_ = profile_.unitAttention && medium_.kind != MediumKind::None;
    emptyFirstPending_ = attentionPending_ && profile_.noMediumBeforeAttention;
    audioStatus_ = 0x15;
    readMsCarry_ = 0;
}

void Drive::InsertMedium(const Medium& m) {
    medium_ = m;
    if (medium_.kind != MediumKind::None && medium_.blocks == 0)
        medium_.blocks = DefaultBlocks(medium_.kind);
    if (!trayOpen_) MediumChanged();
}

void Drive::RemoveMedium() {
    medium_ = Medium{};
    if (!trayOpen_) MediumChanged();
}

bool Drive::OpenTray() {
    if (locked_) return false;
    trayOpen_ = true;
    return true;
}

void Drive::CloseTray() {
    if (!trayOpen_) return;
    trayOpen_ = false;
    MediumChanged();
}

uint8_t Drive::MediumTypeCode() const {
    switch (profile_.mediumCodes) {
        case MediumCodes::None: return 0;
        case MediumCodes::Fixed: return profile_.fixedMediumCode;
        case MediumCodes::Standard: break;
    }
    if (trayOpen_) return kMediumTypeDoorOpen;
    if (medium_.kind == MediumKind::None) return kMediumTypeNoDisc;
    if (medium_.kind != MediumKind::Cd || !MediumReady()) return 0x00;
    // 01h/11h/21h data, 02h/12h/22h audio, 03h/13h/23h data and audio (120 mm)
    const uint8_t base = medium_.cdType == CdType::Pressed      ? 0x00
                         : medium_.cdType == CdType::Recordable ? 0x10
                                                                : 0x20;
    const uint8_t content = medium_.content == CdContent::Data    ? 1
                            : medium_.content == CdContent::Audio ? 2
                                                                  : 3;
    return static_cast<uint8_t>(base + content);
}

int32_t Drive::CurrentProfile() const {
    if (!MediumReady()) return 0;
    if (medium_.profile >= 0) return medium_.profile;
    switch (medium_.kind) {
        case MediumKind::Cd:
            return medium_.cdType == CdType::Pressed      ? 0x08
                   : medium_.cdType == CdType::Recordable ? 0x09
                                                          : 0x0A;
        case MediumKind::Dvd:
            switch (medium_.bookType) {
                case 1: return 0x12;
                case 2: return 0x11;
                case 3: return 0x14;
                case 9: return 0x1A;
                case 10: return 0x1B;
                case 13: return 0x2A;
                case 14: return 0x2B;
                default: return 0x10;
            }
        case MediumKind::Bd:
            if (medium_.discType == "BDR") return 0x41;
            if (medium_.discType == "BDW") return 0x43;
            return 0x40;
        default: return 0;
    }
}

bool Drive::NotReady(Outcome& out) const {
    if (MediumReady()) return false;
    if (trayOpen_ || medium_.kind == MediumKind::None)  // medium not present
        out = Check(kSenseNotReady, 0x3A, !profile_.trayInSense ? 0x00 : trayOpen_ ? 0x02 : 0x01);
    else if (!FamilySupported())
        out = Check(kSenseNotReady, 0x30, 0x00);  // incompatible medium installed
    else
        out = Check(kSenseNotReady, 0x04, 0x01);  // becoming ready
    return true;
}

void Drive::SetFaults(std::vector<FaultRule> faults) {
    profile_.faults = std::move(faults);
    faultSeen_.assign(profile_.faults.size(), 0);
    faultFired_.assign(profile_.faults.size(), 0);
    noise_ = 0;
}

uint32_t Drive::FaultsFired() const {
    uint32_t n = 0;
    for (uint32_t f : faultFired_) n += f;
    return n;
}

bool Drive::CheckFault(uint8_t op, Outcome& out, const FaultRule*& after) {
    bool fired = false;
    after = nullptr;
    for (size_t i = 0; i < profile_.faults.size(); ++i) {
        const FaultRule& rule = profile_.faults[i];
        if (rule.opcode >= 0 && rule.opcode != op) continue;
        ++faultSeen_[i];
        if (fired || faultSeen_[i] <= rule.after) continue;
        if (rule.times != 0 && faultFired_[i] >= rule.times) continue;
        ++faultFired_[i];
        fired = true;
        switch (rule.kind) {
            case FaultKind::Sense:
                out = Check(rule.sense.key, rule.sense.asc, rule.sense.ascq);
                break;
            case FaultKind::TransportError:
                out = Outcome{Completion::TransportError, 0, {}, 0};
                break;
            case FaultKind::Timeout:
                if (timeoutTakesTime_) clock_.Sleep(30000);
                out = Outcome{Completion::Timeout, 0, {}, 0};
                break;
            case FaultKind::Vanish:
                gone_ = true;
                out = Outcome{Completion::Gone, 0, {}, 0};
                break;
            case FaultKind::ShortAnswer:
            case FaultKind::LongAnswer:
            case FaultKind::Garbage:
                after = &rule;  // the command runs; its answer is spoilt afterwards
                if (rule.kind == FaultKind::Garbage && noise_ == 0) noise_ = rule.seed;
                break;
        }
    }
    return fired && !after;
}

void Drive::SpoilAnswer(const FaultRule& rule, const Command& cmd,
                        const std::vector<uint8_t>& before, Outcome& out) {
    switch (rule.kind) {
        case FaultKind::ShortAnswer: {
            if (out.completion != Completion::Done || out.status != 0) return;
            const uint32_t keep = rule.bytes ? rule.bytes : out.bytesIn / 2;
            if (keep >= out.bytesIn) return;
            // What lay beyond the cut never arrived: the caller's bytes stay.
            std::memcpy(cmd.dataIn.data() + keep, before.data() + keep, out.bytesIn - keep);
            out.bytesIn = keep;
            return;
        }
        case FaultKind::LongAnswer:
            if (out.completion != Completion::Done || cmd.dataIn.empty()) return;
            out.bytesIn = static_cast<uint32_t>(cmd.dataIn.size()) + (rule.bytes ? rule.bytes : 64);
            return;
        case FaultKind::Garbage:
            out = Outcome{};
            for (uint8_t& b : cmd.dataIn) {
                if (rule.seed == 0) {
                    b = 0xFF;
                    continue;
                }
                noise_ ^= noise_ << 13;  // xorshift32: the same seed gives the same noise
                noise_ ^= noise_ >> 17;
                noise_ ^= noise_ << 5;
                b = static_cast<uint8_t>(noise_);
            }
            out.bytesIn = static_cast<uint32_t>(cmd.dataIn.size());
            return;
        default: return;
    }
}

// INQUIRY and REQUEST SENSE never report a unit attention; GET CONFIGURATION
// does not either on MMC drives, so a profile query cannot eat it.
bool Drive::UnitAttentionDue(uint8_t op, Outcome& out) {
    if (op == kOpInquiry || op == kOpRequestSense || op == kOpGetConfiguration) return false;
    if (powerOnPending_) {
        powerOnPending_ = false;
        out = Check(kSenseUnitAttention, 0x29, 0x00);  // power on, reset
        return true;
    }
    if (!attentionPending_ || !MediumReady()) return false;
    if (emptyFirstPending_) {
        // Some emulators report the disc missing once before the change.
        emptyFirstPending_ = false;
        out = Check(kSenseNotReady, 0x3A, 0x00);
        return true;
    }
    attentionPending_ = false;
    out = Check(kSenseUnitAttention, 0x28, 0x00);
    return true;
}

Outcome Drive::Execute(const Command& cmd) {
    if (gone_) return Outcome{Completion::Gone, 0, {}, 0};
    if (cmd.cdb.empty()) return InvalidOpcode();
    const uint8_t op = cmd.cdb[0];
    // A READ(10) costs what the read-rate model says; other commands the
    // profile's latency, unless the profile names the opcode.
    auto it = profile_.opcodeLatencyMs.find(op);
    const uint32_t latency = it != profile_.opcodeLatencyMs.end() ? it->second
                             : op == kOpRead10                    ? 0
                                                                  : profile_.latencyMs;
    if (latency) clock_.Sleep(latency);

    Outcome out;
    const FaultRule* spoil = nullptr;
    std::vector<uint8_t> before;
    if (CheckFault(op, out, spoil)) {
        // nothing else happens: the command did not reach the mechanism
    } else if (UnitAttentionDue(op, out)) {
        // reported instead of running the command
    } else {
        const size_t need = CdbLengthOf(op);
        if (need == 0) {
            out = InvalidOpcode();
        } else if (cmd.cdb.size() < need) {
            out = InvalidField();
        } else {
            if (spoil) before.assign(cmd.dataIn.begin(), cmd.dataIn.end());
            out = Dispatch(cmd, op);
        }
    }
    if (spoil) SpoilAnswer(*spoil, cmd, before, out);
    if (out.completion == Completion::Done && out.status == 2) lastSense_ = out.sense;
    return out;
}

Outcome Drive::Dispatch(const Command& cmd, uint8_t op) {
    switch (op) {
        case kOpTestUnitReady: {
            Outcome out;
            (void)NotReady(out);
            return out;
        }
        case kOpRequestSense: return RequestSense(cmd);
        case kOpInquiry: return Inquiry(cmd);
        case kOpStartStopUnit: return StartStop(cmd);
        case kOpPreventAllow: return PreventAllow(cmd);
        case kOpReadCapacity: return ReadCapacity(cmd);
        case kOpRead10: return Read10(cmd);
        case kOpReadSubChannel: return ReadSubChannel(cmd);
        case kOpGetConfiguration: return GetConfiguration(cmd);
        case kOpModeSense10: return ModeSense(cmd);
        case kOpGetPerformance: return GetPerformance(cmd);
        case kOpReadDiscStructure: return ReadStructure(cmd);
        case kOpSetStreaming: return SetStreaming(cmd);
        case kOpSetCdSpeed: return SetCdSpeed(cmd);
        default: return InvalidOpcode();
    }
}

Outcome Drive::RequestSense(const Command& cmd) {
    Outcome state;
    SenseCode s = lastSense_;
    if (s == SenseCode{} && NotReady(state)) s = state.sense;
    lastSense_ = SenseCode{};
    return Reply(cmd, FixedSense(s), cmd.cdb[4]);
}

// ---- speeds -----------------------------------------------------------------

Outcome Drive::ApplySpeed(Obey obey, uint32_t read, uint32_t write, bool streaming) {
    // A drive's real rate wobbles from one setting to the next (retries,
    // vibration, a busy host), whether it obeys or not.
    if (const unsigned jitter = profile_.Speeds(CurrentFamily()).readJitter; jitter != 0) {
        jitterSeed_ ^= jitterSeed_ << 13;
        jitterSeed_ ^= jitterSeed_ >> 17;
        jitterSeed_ ^= jitterSeed_ << 5;
        const double unit = (jitterSeed_ % 2001) / 1000.0 - 1.0;  // -1 .. 1
        readJitter_ = 1.0 + unit * jitter / 100.0;
    }
    switch (obey) {
        case Obey::Unknown: return InvalidOpcode();
        case Obey::Reject: return InvalidField();
        case Obey::Ignore: return Good();
        case Obey::Obey: break;
    }
    const Family f = CurrentFamily();
    const SpeedModel& m = profile_.Speeds(f);
    if (!m.present) return Good();

    uint32_t chosen = 0;
    if (read >= 0xFFFF || read >= m.Max()) {
        chosen = m.Max();  // FFFFh and anything above the top speed mean "as fast as it goes"
    } else if (read < m.Min()) {
        switch (m.belowMin) {
            case BelowMin::Slowest: chosen = m.Min(); break;
            case BelowMin::Ignore: return Good();
            case BelowMin::Reject: return InvalidField();
        }
        if (m.rounding == Rounding::Exact) return InvalidField();
    } else {
        switch (m.rounding) {
            case Rounding::Down:
                for (uint32_t s : m.read)  // fastest first: the first one not above
                    if (s <= read) {
                        chosen = s;
                        break;
                    }
                break;
            case Rounding::Up:
                for (uint32_t s : m.read)
                    if (s >= read) chosen = s;  // ends at the slowest one not below
                break;
            case Rounding::Nearest: {
                uint32_t best = UINT32_MAX;
                for (uint32_t s : m.read) {
                    const uint32_t d = s > read ? s - read : read - s;
                    if (d <= best) {  // on a tie the slower speed wins
                        best = d;
                        chosen = s;
                    }
                }
                break;
            }
            case Rounding::Exact:
                for (uint32_t s : m.read)
                    if (s == read) chosen = s;
                if (!chosen) return InvalidField();
                break;
        }
    }
    const int i = static_cast<int>(f);
    inForce_[i] = chosen;
    requested_[i] = read > 0xFFFF ? 0xFFFF : read;
    setByStreaming_[i] = streaming;

    if (write != 0 && !profile_.writeSpeeds.empty()) {
        uint32_t w = profile_.writeSpeeds.back();
        for (uint32_t s : profile_.writeSpeeds)
            if (s <= write) {
                w = s;
                break;
            }
        writeSpeed_ = w;
    }
    return Good();
}

Outcome Drive::SetCdSpeed(const Command& cmd) {
    const uint32_t read = GetBe16(&cmd.cdb[2]);
    const uint32_t write = GetBe16(&cmd.cdb[4]);
    return ApplySpeed(profile_.Speeds(CurrentFamily()).setCdSpeed, read, write, false);
}

Outcome Drive::SetStreaming(const Command& cmd) {
    const Obey obey = profile_.Speeds(CurrentFamily()).setStreaming;
    if (obey == Obey::Unknown) return InvalidOpcode();
    if (cmd.cdb[8] != 0) return InvalidField();  // only the performance descriptor
    const uint32_t listLength = GetBe16(&cmd.cdb[9]);
    if (listLength < 28 || cmd.dataOut.size() < 28) return Check(kSenseIllegalRequest, 0x1A, 0x00);
    if (obey != Obey::Obey) return ApplySpeed(obey, 0, 0, true);

    const uint8_t* d = cmd.dataOut.data();
    const uint32_t startLba = GetBe32(d + 4);
    const uint32_t endLba = GetBe32(d + 8);
    const uint64_t readSize = GetBe32(d + 12);
    const uint64_t readTime = GetBe32(d + 16);
    const uint64_t writeSize = GetBe32(d + 20);
    const uint64_t writeTime = GetBe32(d + 24);
    // Some burners refuse an End LBA of FFFFFFFFh although tools commonly send it.
    if (profile_.streamingRejectsAllOnesEnd && endLba == 0xFFFFFFFFu)
        return Check(kSenseIllegalRequest, 0x26, 0x00);
    if (readTime == 0 || startLba > endLba) return Check(kSenseIllegalRequest, 0x26, 0x00);
    if (d[0] & 0x04) {  // RDD: back to the drive's defaults
        ResetSpeeds(false);
        return Good();
    }
    const uint64_t read = readSize * 1000 / readTime;
    const uint64_t write = writeTime ? writeSize * 1000 / writeTime : 0;
    return ApplySpeed(obey, static_cast<uint32_t>(std::min<uint64_t>(read, 0xFFFF)),
                      static_cast<uint32_t>(std::min<uint64_t>(write, 0xFFFF)), true);
}

// ---- tray -------------------------------------------------------------------

Outcome Drive::StartStop(const Command& cmd) {
    const bool loej = cmd.cdb[4] & 0x02;
    const bool start = cmd.cdb[4] & 0x01;
    if (!loej) return Good();  // motor start/stop: reads spin the disc up anyway
    if (!start) {
        if (locked_) return Check(kSenseIllegalRequest, 0x53, 0x02);  // medium removal prevented
        if (!profile_.canEject) return InvalidField();
        if (!trayOpen_) {
            clock_.Sleep(profile_.trayMs);
            trayOpen_ = true;
        }
        return Good();
    }
    if (!trayOpen_) return Good();
    if (!profile_.canClose)  // slim and pop-up trays must be pushed in by hand
        return profile_.closeFailure == CloseFailure::Reject ? InvalidField() : Good();
    clock_.Sleep(profile_.trayMs);
    CloseTray();
    return Good();
}

Outcome Drive::PreventAllow(const Command& cmd) {
    const bool prevent = cmd.cdb[4] & 0x01;
    if (prevent && !profile_.canLock) return InvalidField();
    locked_ = prevent;
    return Good();
}

// ---- media access -------------------------------------------------------------

Outcome Drive::ReadCapacity(const Command& cmd) {
    Outcome out;
    if (NotReady(out)) return out;
    std::vector<uint8_t> a(8, 0);
    PutBe32(&a[0], EffectiveBlocks() - 1);
    PutBe32(&a[4], 2048);
    return Reply(cmd, a, a.size());
}

void Drive::SpendReadTime(uint32_t blocks) {
    const Family f = CurrentFamily();
    const SpeedModel& m = profile_.Speeds(f);
    const double kbps =
        double(inForce_[static_cast<int>(f)]) * m.readEfficiency / 100.0 * readJitter_;
    if (kbps <= 0) return;
    // A CD runs 75 sectors a second per 176 KB/s (its 1x); DVD and BD speeds
    // are plain kilobytes (1000 bytes) of 2048-byte sectors.
    const double sectorsPerSecond = f == Family::Cd ? kbps * 75.0 / 176.0 : kbps * 1000.0 / 2048.0;
    readMsCarry_ += blocks * 1000.0 / sectorsPerSecond;
    const double whole = std::floor(readMsCarry_);
    readMsCarry_ -= whole;
    uint64_t ms = static_cast<uint64_t>(whole);
    while (ms > 0) {
        const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(ms, 0x7FFFFFFF));
        clock_.Sleep(step);
        ms -= step;
    }
}

Outcome Drive::Read10(const Command& cmd) {
    Outcome out;
    if (NotReady(out)) return out;
    const uint64_t lba = GetBe32(&cmd.cdb[2]);
    const uint32_t count = GetBe16(&cmd.cdb[7]);
    if (count == 0) return Good();
    if (lba + count > EffectiveBlocks()) return Check(kSenseIllegalRequest, 0x21, 0x00);
    // An audio CD has no 2048-byte sectors; a mixed one has its data track in
    // the first half of the disc.
    const uint64_t dataEnd = medium_.kind != MediumKind::Cd        ? EffectiveBlocks()
                             : medium_.content == CdContent::Audio ? 0
                             : medium_.content == CdContent::Mixed ? EffectiveBlocks() / 2
                                                                   : EffectiveBlocks();
    if (lba + count > dataEnd) return Check(kSenseIllegalRequest, 0x64, 0x00);
    const size_t bytes = std::min<size_t>(size_t{count} * 2048, cmd.dataIn.size());
    for (size_t off = 0; off < bytes; off += 2048) {
        const uint64_t block = lba + off / 2048;
        const size_t n = std::min<size_t>(2048, bytes - off);
        uint8_t* p = &cmd.dataIn[off];
        uint8_t v = static_cast<uint8_t>(block * 31);
        for (size_t i = 0; i < n; ++i) p[i] = v++;
        uint8_t stamp[4];  // each block starts with its LBA
        PutBe32(stamp, static_cast<uint32_t>(block));
        std::memcpy(p, stamp, std::min<size_t>(4, n));
    }
    SpendReadTime(count);
    out.bytesIn = static_cast<uint32_t>(bytes);
    return out;
}

Outcome Drive::ReadSubChannel(const Command& cmd) {
    Outcome out;
    if (NotReady(out)) return out;
    const bool subQ = cmd.cdb[2] & 0x40;
    const uint8_t format = cmd.cdb[3];
    if (subQ && format != 0x01) return InvalidField();
    std::vector<uint8_t> a(subQ ? 16 : 4, 0);
    a[1] = audioStatus_;
    if (subQ) {
        PutBe16(&a[2], 12);
        a[4] = 0x01;
        a[5] = medium_.content == CdContent::Data ? 0x14 : 0x10;
        a[6] = 1;  // track
        a[7] = 1;  // index
    }
    // "Completed" and "stopped by error" are reported once, then no status.
    if (audioStatus_ == 0x13 || audioStatus_ == 0x14) audioStatus_ = 0x15;
    return Reply(cmd, a, GetBe16(&cmd.cdb[7]));
}

}  // namespace tarvik::sim
