// The data-in answers of the simulated drive: identity, capabilities page,
// configuration, performance and disc structures.
#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "scsi/sense.h"
#include "sim_drive.h"
#include "sim_reply.h"

namespace tarvik::sim {

namespace {

void PutPadded(uint8_t* p, const std::string& s, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, s.data(), std::min(width, s.size()));
}

uint32_t Reported(Report mode, uint32_t fixed, uint32_t inForce, uint32_t requested, uint32_t max) {
    switch (mode) {
        case Report::InForce: return inForce;
        case Report::Requested: return requested;
        case Report::Max: return max;
        case Report::Zero: return 0;
        case Report::Fixed: return fixed;
    }
    return 0;
}

// Additional length of the feature descriptors the simulator knows.
uint8_t FeatureLength(uint16_t code) {
    switch (code) {
        case 0x0001: return 8;   // Core
        case 0x0003: return 4;   // Removable Medium
        case 0x001E: return 4;   // CD Read
        case 0x001F: return 4;   // DVD Read
        case 0x0040: return 28;  // BD Read
        default: return 0;
    }
}

}  // namespace

Outcome Drive::Inquiry(const Command& cmd) {
    if (profile_.inquiryFails) {
        const SenseCode& s = profile_.inquirySense;
        return Check(s.key, s.asc, s.ascq);
    }
    if (cmd.cdb[1] & 0x01) return InvalidField();  // no vital product data pages
    std::vector<uint8_t> a(profile_.inquiryLength, 0);
    a[0] = profile_.deviceType;
    a[1] = 0x80;  // removable
    a[2] = profile_.version;
    a[3] = 0x32;  // HiSup, NormACA clear, response data format 2
    a[4] = static_cast<uint8_t>(a.size() - 5);
    PutPadded(&a[8], profile_.vendor, 8);
    PutPadded(&a[16], profile_.product, 16);
    PutPadded(&a[32], profile_.revision, 4);
    return Reply(cmd, a, GetBe16(&cmd.cdb[3]));
}

std::vector<uint8_t> Drive::CapabilitiesPage() const {
    const size_t descriptors = std::min<size_t>(profile_.writeSpeeds.size(), 32);
    std::vector<uint8_t> p(32 + 4 * descriptors, 0);
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(p.size() - 2);
    p[2] = profile_.readCaps;
    p[3] = profile_.writeCaps;
    p[4] = profile_.caps4;
    p[5] = profile_.caps5;
    p[6] = static_cast<uint8_t>((static_cast<uint8_t>(profile_.loading) << 5) |
                                (profile_.canEject ? 0x08 : 0) | (locked_ ? 0x02 : 0) |
                                (profile_.canLock ? 0x01 : 0));
    p[7] = profile_.caps7;
    const Family f = MediumReady() ? CurrentFamily() : Family::Cd;
    const SpeedModel& m = profile_.Speeds(f);
    const int i = static_cast<int>(f);
    PutBe16(&p[8], Reported(m.reportMax, m.fixedMax, inForce_[i], requested_[i], m.Max()));
    PutBe16(&p[10], profile_.volumeLevels);
    PutBe16(&p[12], profile_.bufferKb);
    PutBe16(&p[14], Reported(m.reportCurrent, m.fixedCurrent, inForce_[i], requested_[i], m.Max()));
    const uint32_t maxWrite = profile_.writeSpeeds.empty() ? 0 : profile_.writeSpeeds.front();
    PutBe16(&p[18], maxWrite);
    PutBe16(&p[20], writeSpeed_);
    PutBe16(&p[28], writeSpeed_);
    PutBe16(&p[30], static_cast<uint32_t>(descriptors));
    for (size_t d = 0; d < descriptors; ++d)
        PutBe16(&p[32 + 4 * d + 2], profile_.writeSpeeds[d]);  // rotation control 0: CLV
    return p;
}

Outcome Drive::ModeSense(const Command& cmd) {
    const bool dbd = cmd.cdb[1] & 0x08;
    const uint8_t pc = cmd.cdb[2] >> 6;
    const uint8_t page = cmd.cdb[2] & 0x3F;
    if (pc == 3) return Check(kSenseIllegalRequest, 0x39, 0x00);  // saving parameters not supported
    if (!profile_.hasCapabilitiesPage || (page != 0x2A && page != 0x3F)) return InvalidField();

    std::vector<uint8_t> pageBytes = CapabilitiesPage();
    if (pc == 1) std::fill(pageBytes.begin() + 2, pageBytes.end(), 0);  // nothing changeable

    std::vector<uint8_t> a;
    if (profile_.placement == Placement::NoHeader) {
        a = pageBytes;
    } else {
        // An old drive sends its block descriptor even when DBD asks it not to;
        // the profile says which kind this is.
        const bool descriptor = profile_.placement == Placement::HeaderAndDescriptor && !dbd;
        a.assign(8 + (descriptor ? 8 : 0), 0);
        a[2] = MediumTypeCode();
        if (descriptor) {
            PutBe16(&a[6], 8);
            PutBe32(&a[12], 2048);  // byte 12 reserved, 13..15 block length
        }
        a.insert(a.end(), pageBytes.begin(), pageBytes.end());
        uint32_t length = static_cast<uint32_t>(a.size() - 2);
        if (profile_.understateLength) length -= 8;
        PutBe16(&a[0], length);
    }
    return Reply(cmd, a, GetBe16(&cmd.cdb[7]));
}

Outcome Drive::GetPerformance(const Command& cmd) {
    const Family f = CurrentFamily();
    const SpeedModel& m = profile_.Speeds(f);
    if (m.performance == Perf::Unsupported) return InvalidOpcode();
    if (cmd.cdb[10] != 0) return InvalidField();  // only performance data
    Outcome out;
    if (NotReady(out)) return out;

    const uint8_t except = cmd.cdb[1] & 0x03;
    const bool askWrite = cmd.cdb[1] & 0x04;
    const uint32_t maxDescriptors = GetBe16(&cmd.cdb[8]);
    const uint32_t endLba = EffectiveBlocks() - 1;
    const uint32_t speed = inForce_[static_cast<int>(f)];

    struct Desc {
        uint32_t startLba, startPerf, endLba, endPerf;
    };
    std::vector<Desc> descs;
    uint8_t flags = 0;
    bool zeroLength = false;
    if (except != 0) {
        flags = except;  // the drive has no exception list: header alone
    } else if (askWrite) {
        flags = 0x02;
        descs.push_back({0, writeSpeed_, endLba, writeSpeed_});
    } else {
        const uint32_t start = speed * m.startPercent / 100;
        switch (m.performance) {
            case Perf::Nominal: descs.push_back({0, start, endLba, speed}); break;
            case Perf::WriteBit:
                flags = 0x02;
                descs.push_back({0, start, endLba, speed});
                break;
            case Perf::ExceptBit:
                flags = 0x01;
                descs.push_back({0, start, endLba, speed});
                break;
            case Perf::Max:
                descs.push_back({0, m.Max() * m.startPercent / 100, endLba, m.Max()});
                break;
            case Perf::Zones:
                // The disc in zones, each faster than the one before, the last one
                // ending at the speed in force (a CAV drive).
                for (unsigned z = 0; z < m.zones; ++z) {
                    const uint64_t blocks = uint64_t{endLba} + 1;
                    const uint32_t a = static_cast<uint32_t>(blocks * z / m.zones);
                    const uint32_t b = static_cast<uint32_t>(blocks * (z + 1) / m.zones - 1);
                    const uint32_t pa = start + (speed - start) * z / m.zones;
                    const uint32_t pb = start + (speed - start) * (z + 1) / m.zones;
                    descs.push_back({a, pa, b, pb});
                }
                break;
            case Perf::HeaderOnly: break;
            case Perf::ZeroLength: zeroLength = true; break;
            case Perf::Unsupported: break;
        }
    }
    if (descs.size() > maxDescriptors) descs.resize(maxDescriptors);

    std::vector<uint8_t> a(8 + 16 * descs.size(), 0);
    PutBe32(&a[0], zeroLength ? 0 : static_cast<uint32_t>(4 + 16 * descs.size()));
    a[4] = flags;
    for (size_t d = 0; d < descs.size(); ++d) {
        uint8_t* p = &a[8 + 16 * d];
        PutBe32(p, descs[d].startLba);
        PutBe32(p + 4, descs[d].startPerf);
        PutBe32(p + 8, descs[d].endLba);
        PutBe32(p + 12, descs[d].endPerf);
    }
    return Reply(cmd, a, a.size());
}

Outcome Drive::GetConfiguration(const Command& cmd) {
    if (!profile_.getConfiguration) return InvalidOpcode();
    uint8_t rt = cmd.cdb[1] & 0x03;
    uint16_t first = static_cast<uint16_t>(GetBe16(&cmd.cdb[2]));
    if (rt == 3) return InvalidField();
    if (profile_.ignoresRt) {  // an emulator's fixed list
        rt = 0;
        first = 0;
    }
    const bool ready = MediumReady();
    const int32_t current = CurrentProfile();

    std::vector<uint16_t> profiles = profile_.profiles;
    if (profiles.empty()) {
        if (profile_.Speeds(Family::Bd).present)
            profiles.insert(profiles.end(), {0x43, 0x42, 0x41, 0x40});
        if (profile_.Speeds(Family::Dvd).present)
            profiles.insert(profiles.end(), {0x2B, 0x1B, 0x1A, 0x14, 0x13, 0x12, 0x11, 0x10});
        profiles.insert(profiles.end(), {0x0A, 0x09, 0x08});
    }
    std::vector<Feature> features = profile_.features;
    if (features.empty()) {
        if (profile_.Speeds(Family::Dvd).present)
            features.push_back({0x1F, Feature::Current::Medium});
        if (profile_.Speeds(Family::Bd).present)
            features.push_back({0x40, Feature::Current::Medium});
    }

    std::vector<uint8_t> a(8, 0);
    PutBe16(&a[6], static_cast<uint32_t>(current));
    auto add = [&](uint16_t code, bool isCurrent, const std::vector<uint8_t>& body,
                   uint8_t version) {
        if (code < first || (rt == 2 && code != first) || (rt == 1 && !isCurrent)) return;
        const size_t at = a.size();
        a.resize(at + 4 + body.size(), 0);
        PutBe16(&a[at], code);
        a[at + 2] =
            static_cast<uint8_t>((version << 2) | 0x02 * (code < 0x10) | (isCurrent ? 1 : 0));
        a[at + 3] = static_cast<uint8_t>(body.size());
        std::copy(body.begin(), body.end(), a.begin() + static_cast<long>(at + 4));
    };

    std::vector<uint8_t> list;
    for (uint16_t p : profiles) {
        list.insert(list.end(), {uint8_t(p >> 8), uint8_t(p), uint8_t(p == current ? 1 : 0), 0});
    }
    add(0x0000, true, list, 0);
    add(0x0001, true, {0, 0, 0, 2, 0, 0, 0, 0}, 1);  // physical interface: ATAPI
    const uint8_t removable = static_cast<uint8_t>(
        (static_cast<uint8_t>(profile_.loading) << 5) | (profile_.canEject ? 0x08 : 0) |
        (locked_ ? 0x04 : 0) | (profile_.canLock ? 0x01 : 0));
    add(0x0003, true, {removable, 0, 0, 0}, 0);
    add(0x001E, ready && medium_.kind == MediumKind::Cd, std::vector<uint8_t>(4, 0), 2);
    std::vector<Feature> sorted = features;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Feature& x, const Feature& y) { return x.code < y.code; });
    for (const Feature& f : sorted) {
        if (f.code <= 0x0003 || f.code == 0x001E) continue;
        bool isCurrent = f.current == Feature::Current::Always;
        if (f.current == Feature::Current::Medium) {
            isCurrent = ready && (f.code == 0x1F   ? medium_.kind == MediumKind::Dvd
                                  : f.code == 0x40 ? medium_.kind == MediumKind::Bd
                                                   : true);
        }
        add(f.code, isCurrent, std::vector<uint8_t>(FeatureLength(f.code), 0),
            f.code == 0x40 ? 1 : 0);
    }
    PutBe32(&a[0], static_cast<uint32_t>(a.size() - 4));
    return Reply(cmd, a, GetBe16(&cmd.cdb[7]));
}

Outcome Drive::ReadStructure(const Command& cmd) {
    const bool dvd = profile_.Speeds(Family::Dvd).present;
    const bool bd = profile_.Speeds(Family::Bd).present;
    if (!dvd && !bd) return InvalidOpcode();  // a CD-only drive has no such command
    const uint8_t mediaType = cmd.cdb[1] & 0x0F;
    const uint8_t format = cmd.cdb[7];
    const uint32_t allocation = GetBe16(&cmd.cdb[8]);
    if ((mediaType == 0 && !dvd) || (mediaType == 1 && !bd) || mediaType > 1 || format != 0)
        return InvalidField();
    Outcome out;
    if (NotReady(out)) return out;
    const MediumKind want = mediaType == 0 ? MediumKind::Dvd : MediumKind::Bd;
    if (medium_.kind != want)
        return Check(kSenseIllegalRequest, 0x30, 0x02);  // cannot read medium: format

    std::vector<uint8_t> a;
    if (mediaType == 0) {
        // Physical format information of layer 0.
        a.assign(4 + 2048, 0);
        PutBe16(&a[0], 2048 + 2);
        a[4] = static_cast<uint8_t>((medium_.bookType << 4) | 0x05);  // part version 5
        a[5] = 0x02;  // 120 mm, maximum rate not specified
        const uint8_t layerType =
            medium_.bookType == 0                                                         ? 0x01
            : (medium_.bookType == 2 || medium_.bookType == 10 || medium_.bookType == 14) ? 0x02
                                                                                          : 0x04;
        a[6] = static_cast<uint8_t>((medium_.bookType == 14 ? 0x20 : 0) | layerType);
        a[7] = 0x10;               // 0.267 um per bit, 0.74 um per track
        PutBe32(&a[8], 0x030000);  // start of the data area
        PutBe32(&a[12], 0x030000 + EffectiveBlocks() - 1);
    } else {
        // Disc information: one 64-byte unit per layer in a 4096-byte area.
        a.assign(4 + 4096, 0);
        PutBe16(&a[0], 4096 + 2);
        uint8_t* unit = &a[4];
        unit[0] = 'D';
        unit[1] = 'I';
        unit[2] = 0x01;  // unit format version
        unit[3] = 0x08;  // one unit in this block, sequence 0
        std::string type = medium_.discType;
        type.resize(3, ' ');
        std::memcpy(unit + 8, type.data(), 3);
        unit[11] = 0x01;  // 120 mm, class 0, version 1
    }
    return Reply(cmd, a, allocation);
}

}  // namespace tarvik::sim
