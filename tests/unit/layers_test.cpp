// What the layers' include folders cannot see (CMakeLists.txt, TARVIK_LAYERS).
// A quoted include that names no folder ("about.h") is found beside the
// including file before any include folder is searched, so a dialog could
// reach its neighbour in ui/dialogs that way: every quoted include in src/
// names its path from src/, but for what the build generates (the tables of
// resources/, the version header). And a source file sits in a layer's
// folder: one directly in src/ui/ would be in no library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsSource(const fs::path& p) { return p.extension() == ".cpp" || p.extension() == ".h"; }

TEST(LayersTest, EveryIncludeOfTheProgramNamesItsFolder) {
    const std::set<std::string> resources = {"string_ids.h",    "strings.inc",    "strings_de.inc",
                                             "strings_fr.inc",  "strings_es.inc", "strings_ru.inc",
                                             "tarvik_version.h"};
    std::vector<std::string> bare;
    for (const auto& entry :
         fs::recursive_directory_iterator(std::string(TARVIK_SOURCE_DIR) + "/src")) {
        if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            static constexpr char kInclude[] = "#include \"";
            if (line.rfind(kInclude, 0) != 0) continue;
            const std::string target = line.substr(
                sizeof kInclude - 1, line.find('"', sizeof kInclude - 1) - (sizeof kInclude - 1));
            if (target.find('/') == std::string::npos && !resources.count(target))
                bare.push_back(entry.path().filename().string() + ": " + target);
        }
    }
    EXPECT_TRUE(bare.empty()) << "includes without their folder, e.g. " << bare.front();
}

TEST(LayersTest, NoSourceFileSitsInUiItself) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(std::string(TARVIK_SOURCE_DIR) + "/src/ui"))
        if (entry.is_regular_file() && IsSource(entry.path()))
            stray.push_back(entry.path().filename().string());
    EXPECT_TRUE(stray.empty()) << "in no layer: src/ui/" << stray.front();
}

}  // namespace
