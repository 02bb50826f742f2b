#include "sim_profile.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "base/hex.h"
#include "settings/reg_file.h"

namespace tarvik::sim {

using nlohmann::json;

const char* FamilyName(Family f) {
    switch (f) {
        case Family::Cd: return "cd";
        case Family::Dvd: return "dvd";
        case Family::Bd: return "bd";
    }
    return "?";
}

Family FamilyOf(MediumKind kind) {
    switch (kind) {
        case MediumKind::Dvd: return Family::Dvd;
        case MediumKind::Bd: return Family::Bd;
        default: return Family::Cd;
    }
}

namespace {

// Walks one JSON object, remembering the path for messages and refusing keys
// it does not know: a misspelt key in a test profile must not pass silently.
class Reader {
public:
    Reader(const json& obj, std::string path, std::string& error)
        : obj_(obj), path_(std::move(path)), error_(error) {}

    bool IsObject() {
        if (obj_.is_object()) return true;
        return Fail(path_, "must be an object");
    }
    bool OnlyKeys(std::initializer_list<const char*> keys) {
        for (auto it = obj_.begin(); it != obj_.end(); ++it) {
            if (std::none_of(keys.begin(), keys.end(),
                             [&](const char* k) { return it.key() == k; }))
                return Fail(Path(it.key()), "unknown key");
        }
        return true;
    }
    bool Has(const char* key) const { return obj_.contains(key); }
    const json& At(const char* key) const { return obj_.at(key); }
    std::string Path(const std::string& key) const { return path_ + "." + key; }

    // Integers may be JSON numbers or "0x.." strings.
    bool Number(const char* key, uint64_t max, uint64_t& out) {
        if (!Has(key)) return true;
        return ToNumber(At(key), Path(key), max, out);
    }
    template <typename T>
    bool Num(const char* key, T& out) {
        uint64_t v = out;
        const uint64_t max = static_cast<uint64_t>(std::numeric_limits<T>::max());
        if (!Number(key, max, v)) return false;
        out = static_cast<T>(v);
        return true;
    }
    bool Bool(const char* key, bool& out) {
        if (!Has(key)) return true;
        if (!At(key).is_boolean()) return Fail(Path(key), "must be true or false");
        out = At(key).get<bool>();
        return true;
    }
    bool String(const char* key, std::string& out, size_t maxLen) {
        if (!Has(key)) return true;
        if (!At(key).is_string()) return Fail(Path(key), "must be a string");
        out = At(key).get<std::string>();
        if (out.size() > maxLen)
            return Fail(Path(key), "longer than " + std::to_string(maxLen) + " characters");
        return true;
    }
    template <typename E>
    bool Enum(const char* key, E& out, std::initializer_list<std::pair<const char*, E>> names) {
        if (!Has(key)) return true;
        const json& v = At(key);
        if (v.is_string()) {
            const std::string s = v.get<std::string>();
            for (const auto& [name, value] : names) {
                if (s == name) {
                    out = value;
                    return true;
                }
            }
        }
        std::string list;
        for (const auto& n : names) list += std::string(list.empty() ? "" : ", ") + n.first;
        return Fail(Path(key), "must be one of: " + list);
    }
    bool Sense(const char* key, SenseCode& out) {
        if (!Has(key)) return true;
        if (!At(key).is_string() || !ParseSense(At(key).get<std::string>(), out))
            return Fail(Path(key), "must be a sense code like \"05/24/00\"");
        return true;
    }
    bool SpeedList(const char* key, std::vector<uint32_t>& out, bool required) {
        if (!Has(key)) return required ? Fail(Path(key), "is required") : true;
        const json& v = At(key);
        if (!v.is_array()) return Fail(Path(key), "must be an array of speeds in KB/s");
        if (v.size() > 128) return Fail(Path(key), "has more than 128 speeds");
        out.clear();
        for (size_t i = 0; i < v.size(); ++i) {
            uint64_t s = 0;
            if (!ToNumber(v[i], Path(key) + "[" + std::to_string(i) + "]", 0xFFFE, s)) return false;
            if (s == 0) return Fail(Path(key), "speeds must be above 0");
            out.push_back(static_cast<uint32_t>(s));
        }
        std::sort(out.begin(), out.end(), std::greater<>());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        if (required && out.empty()) return Fail(Path(key), "must not be empty");
        return true;
    }

    bool ToNumber(const json& v, const std::string& path, uint64_t max, uint64_t& out) {
        if (v.is_number_unsigned()) {
            out = v.get<uint64_t>();
        } else if (v.is_number_integer()) {
            return Fail(path, "must not be negative");
        } else if (v.is_string()) {
            const std::string s = v.get<std::string>();
            const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
            const std::string digits = hex ? s.substr(2) : s;
            if (digits.empty() || digits.size() > 16) return Fail(path, "is not a number");
            uint64_t value = 0;
            for (char c : digits) {
                unsigned d;
                if (c >= '0' && c <= '9')
                    d = static_cast<unsigned>(c - '0');
                else if (hex && c >= 'a' && c <= 'f')
                    d = static_cast<unsigned>(c - 'a' + 10);
                else if (hex && c >= 'A' && c <= 'F')
                    d = static_cast<unsigned>(c - 'A' + 10);
                else
                    return Fail(path, "is not a number");
                if (value > (UINT64_MAX - d) / (hex ? 16 : 10)) return Fail(path, "is too large");
                value = value * (hex ? 16 : 10) + d;
            }
            out = value;
        } else {
            return Fail(path, "must be a number");
        }
        if (out > max) return Fail(path, "must be at most " + std::to_string(max));
        return true;
    }
    bool Fail(const std::string& path, const std::string& what) {
        if (error_.empty()) error_ = path + ": " + what;
        return false;
    }

private:
    const json& obj_;
    std::string path_;
    std::string& error_;
};

bool ReadIdentity(const json& j, const std::string& path, Profile& p, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject() || !r.OnlyKeys({"vendor", "product", "revision", "deviceType", "version",
                                      "inquiryLength", "inquiryFails", "letter"}))
        return false;
    std::string letter;
    if (!r.String("vendor", p.vendor, 8) || !r.String("product", p.product, 16) ||
        !r.String("revision", p.revision, 4) || !r.Num("deviceType", p.deviceType) ||
        !r.Num("version", p.version) || !r.Num("inquiryLength", p.inquiryLength) ||
        !r.String("letter", letter, 1))
        return false;
    if (p.inquiryLength < 36) return r.Fail(r.Path("inquiryLength"), "must be at least 36");
    if (!letter.empty()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
        if (c < 'A' || c > 'Z') return r.Fail(r.Path("letter"), "must be a drive letter");
        p.letter = c;
    }
    if (r.Has("inquiryFails")) {
        const json& v = r.At("inquiryFails");
        if (v.is_boolean()) {
            p.inquiryFails = v.get<bool>();
        } else {
            p.inquiryFails = true;
            if (!r.Sense("inquiryFails", p.inquirySense)) return false;
        }
    }
    return true;
}

bool ReadCapabilities(const json& j, const std::string& path, Profile& p, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject() ||
        !r.OnlyKeys({"present", "placement", "mediumCodes", "fixedMediumCode", "understateLength",
                     "loading", "readCaps", "writeCaps", "caps4", "caps5", "caps7", "canLock",
                     "canEject", "volumeLevels", "bufferKb", "writeSpeeds"}))
        return false;
    std::string codes;
    bool ok = r.Bool("present", p.hasCapabilitiesPage) &&
              r.Enum("placement", p.placement,
                     {{"header", Placement::Header},
                      {"header+descriptor", Placement::HeaderAndDescriptor},
                      {"none", Placement::NoHeader}}) &&
              r.Bool("understateLength", p.understateLength) &&
              r.Enum("loading", p.loading,
                     {{"caddy", Loading::Caddy},
                      {"tray", Loading::Tray},
                      {"popup", Loading::PopUp},
                      {"changer", Loading::Changer}}) &&
              r.Num("readCaps", p.readCaps) && r.Num("writeCaps", p.writeCaps) &&
              r.Num("caps4", p.caps4) && r.Num("caps5", p.caps5) && r.Num("caps7", p.caps7) &&
              r.Bool("canLock", p.canLock) && r.Bool("canEject", p.canEject) &&
              r.Num("volumeLevels", p.volumeLevels) && r.Num("bufferKb", p.bufferKb) &&
              r.SpeedList("writeSpeeds", p.writeSpeeds, false);
    if (!ok) return false;
    if (r.Has("mediumCodes")) {
        const json& v = r.At("mediumCodes");
        if (v.is_string() && v.get<std::string>() == "standard") {
            p.mediumCodes = MediumCodes::Standard;
        } else if (v.is_string() && v.get<std::string>() == "none") {
            p.mediumCodes = MediumCodes::None;
        } else {
            uint64_t code = 0;
            if (!r.ToNumber(v, r.Path("mediumCodes"), 0xFF, code)) {
                error = r.Path("mediumCodes") + ": must be \"standard\", \"none\" or a code";
                return false;
            }
            p.mediumCodes = MediumCodes::Fixed;
            p.fixedMediumCode = static_cast<uint8_t>(code);
        }
    }
    return true;
}

bool ReadReport(Reader& r, const char* key, Report& mode, uint32_t& fixed) {
    if (!r.Has(key)) return true;
    const json& v = r.At(key);
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s.rfind("0x", 0) != 0) {
            return r.Enum(key, mode,
                          {{"inForce", Report::InForce},
                           {"requested", Report::Requested},
                           {"max", Report::Max},
                           {"zero", Report::Zero}});
        }
    }
    uint64_t n = 0;
    if (!r.ToNumber(v, r.Path(key), 0xFFFF, n)) return false;
    mode = Report::Fixed;
    fixed = static_cast<uint32_t>(n);
    return true;
}

bool ReadSpeedModel(const json& j, const std::string& path, SpeedModel& m, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject() ||
        !r.OnlyKeys({"read", "rounding", "belowMin", "setCdSpeed", "setStreaming", "reportCurrent",
                     "reportMax", "performance", "zones", "startPercent", "persist", "spinUpMs",
                     "readEfficiency", "readJitter"}))
        return false;
    const std::initializer_list<std::pair<const char*, Obey>> obey = {{"obey", Obey::Obey},
                                                                      {"ignore", Obey::Ignore},
                                                                      {"reject", Obey::Reject},
                                                                      {"unknown", Obey::Unknown}};
    m.present = true;
    bool ok = r.SpeedList("read", m.read, true) &&
              r.Enum("rounding", m.rounding,
                     {{"down", Rounding::Down},
                      {"up", Rounding::Up},
                      {"nearest", Rounding::Nearest},
                      {"exact", Rounding::Exact}}) &&
              r.Enum("belowMin", m.belowMin,
                     {{"slowest", BelowMin::Slowest},
                      {"ignore", BelowMin::Ignore},
                      {"reject", BelowMin::Reject}}) &&
              r.Enum("setCdSpeed", m.setCdSpeed, obey) &&
              r.Enum("setStreaming", m.setStreaming, obey) &&
              ReadReport(r, "reportCurrent", m.reportCurrent, m.fixedCurrent) &&
              ReadReport(r, "reportMax", m.reportMax, m.fixedMax) &&
              r.Enum("performance", m.performance,
                     {{"nominal", Perf::Nominal},
                      {"zones", Perf::Zones},
                      {"write-bit", Perf::WriteBit},
                      {"except-bit", Perf::ExceptBit},
                      {"header-only", Perf::HeaderOnly},
                      {"zero-length", Perf::ZeroLength},
                      {"max", Perf::Max},
                      {"unsupported", Perf::Unsupported}}) &&
              r.Num("zones", m.zones) && r.Num("startPercent", m.startPercent) &&
              r.Enum("persist", m.persist,
                     {{"none", Persist::None},
                      {"streaming", Persist::Streaming},
                      {"always", Persist::Always}}) &&
              r.Num("spinUpMs", m.spinUpMs) && r.Num("readEfficiency", m.readEfficiency) &&
              r.Num("readJitter", m.readJitter);
    if (!ok) return false;
    if (m.readJitter > 50) return r.Fail(r.Path("readJitter"), "must be 0..50");
    if (m.zones < 1 || m.zones > 8) return r.Fail(r.Path("zones"), "must be 1..8");
    if (m.startPercent < 1 || m.startPercent > 100)
        return r.Fail(r.Path("startPercent"), "must be 1..100");
    if (m.readEfficiency < 1 || m.readEfficiency > 100)
        return r.Fail(r.Path("readEfficiency"), "must be 1..100");
    if (m.spinUpMs > 600000) return r.Fail(r.Path("spinUpMs"), "must be at most 600000");
    return true;
}

bool ReadMedium(const json& j, const std::string& path, Medium& m, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject() ||
        !r.OnlyKeys({"kind", "type", "content", "blocks", "bookType", "discType", "profile"}))
        return false;
    bool ok = r.Enum("kind", m.kind,
                     {{"none", MediumKind::None},
                      {"cd", MediumKind::Cd},
                      {"dvd", MediumKind::Dvd},
                      {"bd", MediumKind::Bd}}) &&
              r.Enum("type", m.cdType,
                     {{"pressed", CdType::Pressed},
                      {"recordable", CdType::Recordable},
                      {"rewritable", CdType::Rewritable}}) &&
              r.Enum("content", m.content,
                     {{"data", CdContent::Data},
                      {"audio", CdContent::Audio},
                      {"mixed", CdContent::Mixed}}) &&
              r.Num("blocks", m.blocks) && r.Num("bookType", m.bookType) &&
              r.String("discType", m.discType, 3);
    if (!ok) return false;
    if (m.bookType > 15) return r.Fail(r.Path("bookType"), "must be 0..15");
    if (m.discType.size() != 3) return r.Fail(r.Path("discType"), "must be three characters");
    if (r.Has("profile")) {
        uint64_t v = 0;
        if (!r.ToNumber(r.At("profile"), r.Path("profile"), 0xFFFF, v)) return false;
        m.profile = static_cast<int32_t>(v);
    }
    return true;
}

bool ReadFeatures(const json& j, const std::string& path, Profile& p, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject() || !r.OnlyKeys({"supported", "ignoresRt", "features", "profiles"}))
        return false;
    if (!r.Bool("supported", p.getConfiguration) || !r.Bool("ignoresRt", p.ignoresRt)) return false;
    if (r.Has("features")) {
        const json& list = r.At("features");
        if (!list.is_array() || list.size() > 64)
            return r.Fail(r.Path("features"), "must be an array of at most 64 features");
        for (size_t i = 0; i < list.size(); ++i) {
            Reader f(list[i], r.Path("features") + "[" + std::to_string(i) + "]", error);
            Feature feature;
            if (!f.IsObject() || !f.OnlyKeys({"code", "current"}) || !f.Num("code", feature.code) ||
                !f.Enum("current", feature.current,
                        {{"never", Feature::Current::Never},
                         {"always", Feature::Current::Always},
                         {"medium", Feature::Current::Medium}}))
                return false;
            if (!f.Has("code")) return f.Fail(f.Path("code"), "is required");
            p.features.push_back(feature);
        }
    }
    if (r.Has("profiles")) {
        const json& list = r.At("profiles");
        if (!list.is_array() || list.size() > 64)
            return r.Fail(r.Path("profiles"), "must be an array of at most 64 profiles");
        for (size_t i = 0; i < list.size(); ++i) {
            uint64_t v = 0;
            if (!r.ToNumber(list[i], r.Path("profiles") + "[" + std::to_string(i) + "]", 0xFFFF, v))
                return false;
            p.profiles.push_back(static_cast<uint16_t>(v));
        }
    }
    return true;
}

bool ReadTray(const json& j, const std::string& path, Profile& p, std::string& error) {
    Reader r(j, path, error);
    return r.IsObject() && r.OnlyKeys({"open", "locked", "canClose", "closeFailure"}) &&
           r.Bool("open", p.trayOpen) && r.Bool("locked", p.locked) &&
           r.Bool("canClose", p.canClose) &&
           r.Enum("closeFailure", p.closeFailure,
                  {{"ignore", CloseFailure::Ignore}, {"reject", CloseFailure::Reject}});
}

bool ReadTiming(const json& j, const std::string& path, Profile& p, std::string& error) {
    Reader r(j, path, error);
    if (!r.IsObject()) return false;
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string& key = it.key();
        uint64_t v = 0;
        if (!r.ToNumber(it.value(), r.Path(key), 600000, v)) return false;
        if (key == "default") {
            p.latencyMs = static_cast<uint32_t>(v);
        } else if (key == "tray") {
            p.trayMs = static_cast<uint32_t>(v);
        } else {
            uint64_t op = 0;
            std::string ignored;
            Reader keyReader(json::object(), "", ignored);
            if (!keyReader.ToNumber(json(key), key, 0xFF, op))
                return r.Fail(r.Path(key), "unknown key (use \"default\", \"tray\" or an opcode)");
            p.opcodeLatencyMs[static_cast<uint8_t>(op)] = static_cast<uint32_t>(v);
        }
    }
    return true;
}

bool ReadFaults(const json& j, const std::string& path, Profile& p, std::string& error) {
    if (!j.is_array() || j.size() > 64) {
        error = path + ": must be an array of at most 64 rules";
        return false;
    }
    for (size_t i = 0; i < j.size(); ++i) {
        Reader r(j[i], path + "[" + std::to_string(i) + "]", error);
        FaultRule rule;
        if (!r.IsObject() ||
            !r.OnlyKeys({"opcode", "after", "times", "sense", "error", "bytes", "seed"}) ||
            !r.Num("after", rule.after) || !r.Num("times", rule.times) ||
            !r.Num("bytes", rule.bytes) || !r.Num("seed", rule.seed))
            return false;
        if (r.Has("opcode")) {
            const json& v = r.At("opcode");
            if (v.is_string() && v.get<std::string>() == "any") {
                rule.opcode = -1;
            } else {
                uint64_t op = 0;
                if (!r.ToNumber(v, r.Path("opcode"), 0xFF, op)) return false;
                rule.opcode = static_cast<int>(op);
            }
        }
        if (r.Has("sense") && r.Has("error"))
            return r.Fail(r.Path("error"), "give either \"sense\" or \"error\"");
        if (!r.Sense("sense", rule.sense) || !r.Enum("error", rule.kind,
                                                     {{"transport", FaultKind::TransportError},
                                                      {"timeout", FaultKind::Timeout},
                                                      {"vanish", FaultKind::Vanish},
                                                      {"short", FaultKind::ShortAnswer},
                                                      {"long", FaultKind::LongAnswer},
                                                      {"garbage", FaultKind::Garbage}}))
            return false;
        p.faults.push_back(rule);
    }
    return true;
}

bool ReadProfile(const json& j, Profile& p, std::string& error) {
    Reader r(j, "profile", error);
    if (!r.IsObject() ||
        !r.OnlyKeys({"name", "comment", "identity", "capabilities", "configuration", "speeds",
                     "streamingRejectsAllOnesEnd", "medium", "audioStatus", "tray", "unitAttention",
                     "startsReady", "powerOnAttention", "noMediumBeforeAttention", "trayInSense",
                     "latencyMs", "faults"}))
        return false;
    if (!r.String("name", p.name, 200)) return false;
    if (r.Has("identity") && !ReadIdentity(r.At("identity"), r.Path("identity"), p, error))
        return false;
    if (r.Has("capabilities") &&
        !ReadCapabilities(r.At("capabilities"), r.Path("capabilities"), p, error))
        return false;
    if (r.Has("configuration") &&
        !ReadFeatures(r.At("configuration"), r.Path("configuration"), p, error))
        return false;
    if (!r.Has("speeds")) return r.Fail(r.Path("speeds"), "is required");
    {
        Reader s(r.At("speeds"), r.Path("speeds"), error);
        if (!s.IsObject() || !s.OnlyKeys({"cd", "dvd", "bd"})) return false;
        for (Family f : {Family::Cd, Family::Dvd, Family::Bd}) {
            if (s.Has(FamilyName(f)) &&
                !ReadSpeedModel(s.At(FamilyName(f)), s.Path(FamilyName(f)), p.Speeds(f), error))
                return false;
        }
        if (!p.Speeds(Family::Cd).present)
            return s.Fail(s.Path("cd"), "is required (every optical drive reads CDs)");
    }
    if (!r.Bool("streamingRejectsAllOnesEnd", p.streamingRejectsAllOnesEnd)) return false;
    if (r.Has("medium") && !ReadMedium(r.At("medium"), r.Path("medium"), p.medium, error))
        return false;
    if (r.Has("audioStatus")) {
        const json& v = r.At("audioStatus");
        if (v.is_string() && v.get<std::string>().rfind("0x", 0) != 0) {
            if (!r.Enum("audioStatus", p.audioStatus,
                        {{"none", uint8_t{0x00}},
                         {"playing", uint8_t{0x11}},
                         {"paused", uint8_t{0x12}},
                         {"completed", uint8_t{0x13}},
                         {"error", uint8_t{0x14}},
                         {"idle", uint8_t{0x15}}}))
                return false;
        } else if (!r.Num("audioStatus", p.audioStatus)) {
            return false;
        }
    }
    if (r.Has("tray") && !ReadTray(r.At("tray"), r.Path("tray"), p, error)) return false;
    if (!r.Bool("unitAttention", p.unitAttention) || !r.Bool("startsReady", p.startsReady) ||
        !r.Bool("powerOnAttention", p.powerOnAttention) ||
        !r.Bool("noMediumBeforeAttention", p.noMediumBeforeAttention) ||
        !r.Bool("trayInSense", p.trayInSense))
        return false;
    if (r.Has("latencyMs") && !ReadTiming(r.At("latencyMs"), r.Path("latencyMs"), p, error))
        return false;
    if (r.Has("faults") && !ReadFaults(r.At("faults"), r.Path("faults"), p, error)) return false;
    return true;
}

}  // namespace

bool ParseSense(std::string_view text, SenseCode& out) {
    if (text.size() != 8 || text[2] != '/' || text[5] != '/') return false;
    SenseCode s;
    if (!ParseHexByte(text.substr(0, 2), &s.key) || !ParseHexByte(text.substr(3, 2), &s.asc) ||
        !ParseHexByte(text.substr(6, 2), &s.ascq) || s.key > 0x0F)
        return false;
    out = s;
    return true;
}

std::string SenseText(const SenseCode& s) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X/%02X/%02X", s.key, s.asc, s.ascq);
    return buf;
}

// Parses `text` and hands the document to `read`. Parsing and reading never
// throw out of here: the loaders are also fed arbitrary bytes by the fuzzer.
template <class Read>
bool ReadJsonText(std::string_view text, const char* what, std::string& error, Read read) {
    error.clear();
    try {
        const json j = json::parse(text.begin(), text.end(), nullptr, false);
        if (j.is_discarded()) {
            error = "not valid JSON";
            return false;
        }
        if (read(j)) return true;
        if (error.empty()) error = std::string("invalid ") + what;
        return false;
    } catch (const std::exception& e) {
        error = std::string("invalid ") + what + ": " + e.what();
        return false;
    }
}

bool LoadProfileText(std::string_view text, Profile& out, std::string& error) {
    return ReadJsonText(text, "profile", error, [&](const json& j) {
        Profile p;
        if (!ReadProfile(j, p, error)) return false;
        out = std::move(p);
        return true;
    });
}

bool LoadProfileFile(const std::string& path, Profile& out, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        error = path + ": cannot open the profile";
        return false;
    }
    if (text.size() > (1u << 20)) {
        error = path + ": profile larger than 1 MiB";
        return false;
    }
    if (!LoadProfileText(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    if (out.name.empty()) {
        const size_t slash = path.find_last_of("/\\");
        out.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    return true;
}

bool ParseMediumText(std::string_view text, Medium& out, std::string& error) {
    return ReadJsonText(text, "medium", error, [&](const json& j) {
        Medium m;
        if (!ReadMedium(j, "medium", m, error)) return false;
        out = m;
        return true;
    });
}

std::string MediumToJsonText(const Medium& m) {
    static const char* kKinds[] = {"none", "cd", "dvd", "bd"};
    static const char* kTypes[] = {"pressed", "recordable", "rewritable"};
    static const char* kContents[] = {"data", "audio", "mixed"};
    json j;
    j["kind"] = kKinds[static_cast<int>(m.kind)];
    j["type"] = kTypes[static_cast<int>(m.cdType)];
    j["content"] = kContents[static_cast<int>(m.content)];
    j["blocks"] = m.blocks;
    j["bookType"] = m.bookType;
    j["discType"] = m.discType;
    if (m.profile >= 0) j["profile"] = m.profile;
    return j.dump();
}

}  // namespace tarvik::sim
