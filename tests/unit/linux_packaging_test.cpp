// The udev rules and the services they start, as shipped in packaging/linux/:
// read the way udev reads a rule (KEY op "value" pairs), tried on the events
// a drive sends, and the service's command line checked word by word.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tarvik {
namespace {

const std::filesystem::path kDir = std::filesystem::path(TARVIK_SOURCE_DIR) / "packaging/linux";

struct Pair {
    std::string key, op, value;
};
using Rule = std::vector<Pair>;

// The rules of the file, one per line; a failure names the line that udev
// would reject or misread.
std::vector<Rule> ReadRules(const std::filesystem::path& path) {
    static const std::regex kPair(
        R"re(\s*([A-Z]+(\{[A-Za-z0-9_]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    static const std::set<std::string> kMatchKeys = {"ACTION",  "SUBSYSTEM", "KERNEL", "ENV",
                                                     "DEVPATH", "DRIVER",    "ATTR",   "TAG"};
    static const std::set<std::string> kAssignKeys = {"RUN", "ENV", "TAG", "OPTIONS"};
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::vector<Rule> rules;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        Rule rule;
        auto from = line.cbegin();
        std::smatch m;
        while (from != line.cend() && std::regex_search(from, line.cend(), m, kPair,
                                                        std::regex_constants::match_continuous)) {
            const std::string base = m[1].str().substr(0, m[1].str().find('{'));
            const bool match = m[3] == "==" || m[3] == "!=";
            EXPECT_TRUE((match ? kMatchKeys : kAssignKeys).count(base))
                << "line " << number << ": " << m[1] << m[3];
            rule.push_back({m[1], m[3], m[4]});
            from = m[0].second;
        }
        // udev stops reading a line at the first thing that is not a pair.
        EXPECT_TRUE(from == line.cend())
            << "line " << number
            << " is not KEY op \"value\" pairs from: " << std::string(from, line.cend());
        rules.push_back(rule);
    }
    return rules;
}

// The RUN programs a rule adds for an event, %k replaced; empty when the rule
// does not match it. Values are shell globs, '|' separating alternatives.
std::vector<std::string> Runs(const Rule& rule, const std::map<std::string, std::string>& event) {
    std::vector<std::string> runs;
    for (const Pair& p : rule) {
        if (p.op == "==" || p.op == "!=") {
            const auto found = event.find(p.key);
            const std::string value = found == event.end() ? "" : found->second;
            bool any = false;
            std::stringstream globs(p.value);
            for (std::string g; std::getline(globs, g, '|');)
                any = any || fnmatch(g.c_str(), value.c_str(), 0) == 0;
            if (any != (p.op == "==")) return {};
        } else if (p.key == "RUN") {
            std::string run = p.value;
            for (size_t at; (at = run.find("%k")) != std::string::npos;)
                run.replace(at, 2, event.at("KERNEL"));
            runs.push_back(run);
        }
    }
    return runs;
}

// What every rule of the file runs for the event.
std::vector<std::string> AllRuns(const std::vector<Rule>& rules,
                                 const std::map<std::string, std::string>& event) {
    std::vector<std::string> runs;
    for (const Rule& rule : rules)
        for (std::string& run : Runs(rule, event)) runs.push_back(std::move(run));
    return runs;
}

TEST(LinuxPackaging, RulesStartAServiceOnADiscChangeOrANewDriveOnly) {
    const std::vector<Rule> rules = ReadRules(kDir / "60-tarvik.rules");
    ASSERT_EQ(rules.size(), 2u);
    const std::map<std::string, std::string> change = {{"ACTION", "change"},
                                                       {"SUBSYSTEM", "block"},
                                                       {"KERNEL", "sr1"},
                                                       {"ENV{DISK_MEDIA_CHANGE}", "1"}};
    EXPECT_EQ(AllRuns(rules, change),
              std::vector<std::string>{"/bin/systemctl --no-block start tarvik-disc@sr1.service"});
    auto other = change;
    other["ACTION"] = "add";  // at boot, or plugged in
    other.erase("ENV{DISK_MEDIA_CHANGE}");
    EXPECT_EQ(AllRuns(rules, other),
              std::vector<std::string>{"/bin/systemctl --no-block start tarvik-start@sr1.service"});
    // The services the rules name are the ones shipped beside them.
    EXPECT_TRUE(std::filesystem::exists(kDir / "tarvik-disc@.service"));
    EXPECT_TRUE(std::filesystem::exists(kDir / "tarvik-start@.service"));

    other = change;
    other["KERNEL"] = "sda";  // a disk, not an optical drive
    EXPECT_TRUE(AllRuns(rules, other).empty());
    other["ACTION"] = "add";
    EXPECT_TRUE(AllRuns(rules, other).empty());
    other = change;  // the eject button asks, nothing has changed yet
    other.erase("ENV{DISK_MEDIA_CHANGE}");
    other["ENV{DISK_EJECT_REQUEST}"] = "1";
    EXPECT_TRUE(AllRuns(rules, other).empty());
    other["ACTION"] = "remove";
    EXPECT_TRUE(AllRuns(rules, other).empty());
}

// The [Service] section of a unit file.
std::map<std::string, std::string> ServiceSection(const std::filesystem::path& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::map<std::string, std::string> service;
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        const size_t eq = line.find('=');
        EXPECT_NE(eq, std::string::npos) << path << ": " << line;
        if (eq != std::string::npos && section == "[Service]")
            service[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return service;
}

TEST(LinuxPackaging, ServicesRunTheEventOnTheSystemSettings) {
    const std::map<std::string, std::vector<std::string>> units = {
        {"tarvik-disc@.service", {"--system", "--device", "/dev/%I", "event", "disk"}},
        {"tarvik-start@.service", {"--system", "--device", "/dev/%I", "event", "start"}},
        {"tarvik-resume.service", {"--system", "event", "resume"}},
    };
    for (const auto& [unit, expected] : units) {
        std::map<std::string, std::string> service = ServiceSection(kDir / unit);
        EXPECT_EQ(service["Type"], "oneshot") << unit;
        EXPECT_FALSE(service["TimeoutStartSec"].empty()) << unit;  // a hung drive must not hold it
        std::istringstream exec(service["ExecStart"]);
        std::vector<std::string> words;
        for (std::string w; exec >> w;) words.push_back(w);
        ASSERT_GE(words.size(), 1u) << unit;
        // Where the package puts it: a bare name would find /usr/local/bin first.
        EXPECT_EQ(words[0], "/usr/bin/tarvikctl") << unit;
        EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.end()), expected) << unit;

        // Root runs them on a device udev names: each may reach its drive and
        // the settings, and nothing more.
        const std::map<std::string, std::string> hardening = {
            {"NoNewPrivileges", "yes"},
            {"PrivateTmp", "yes"},
            {"ProtectHome", "yes"},
            {"ProtectSystem", "strict"},
            {"ReadWritePaths", "/etc/tarvik"},
            {"ConfigurationDirectory", "tarvik"},
            {"PrivateNetwork", "yes"},
            {"RestrictAddressFamilies", "AF_UNIX"},
            {"DevicePolicy", "closed"},
            {"ProtectKernelTunables", "yes"},
            {"ProtectControlGroups", "yes"},
            {"RestrictSUIDSGID", "yes"},
            {"LockPersonality", "yes"},
            {"MemoryDenyWriteExecute", "yes"},
            {"SystemCallFilter", "@system-service"},
        };
        for (const auto& [key, value] : hardening)
            EXPECT_EQ(service[key], value) << unit << " " << key;
        // The drive of the event, or every optical drive for a resume.
        const bool oneDrive = expected[1] == "--device";
        EXPECT_EQ(service["DeviceAllow"], oneDrive ? "/dev/%I rw" : "block-sr rw") << unit;
    }
}

}  // namespace
}  // namespace tarvik
