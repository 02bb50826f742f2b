// project(Tarvik VERSION ...) in CMakeLists.txt is the version; every place
// a user reads one must name the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tarvik_version.h"
#include "ui/dialogs/about.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Version, EveryPlaceNamesTheProjectVersion) {
    const fs::path source(TARVIK_SOURCE_DIR), build(TARVIK_BINARY_DIR);
    std::smatch m;
    const std::string cmake = Read(source / "CMakeLists.txt");
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex(R"(project\(Tarvik VERSION ([0-9.]+))")));
    const std::string version = m[1];

    // The header the code and the resource script read, and the About text.
    EXPECT_EQ(TARVIK_VERSION, version) << "the generated header is stale";
    const std::u16string about(kProgramVersion);
    EXPECT_EQ(std::string(about.begin(), about.end()), version);

    // The resource script takes both version fields and strings from the header.
    const std::string rc = Read(source / "resources/tarvik.rc");
    for (const char* field : {"FILEVERSION", "PRODUCTVERSION"}) {
        EXPECT_TRUE(std::regex_search(
            rc, std::regex(
                    std::string("\n") + field +
                    R"(\s+TARVIK_VERSION_MAJOR, TARVIK_VERSION_MINOR, TARVIK_VERSION_PATCH, 0\n)")))
            << field;
    }
    for (const char* value : {"FileVersion", "ProductVersion"})
        EXPECT_TRUE(std::regex_search(
            rc, std::regex(std::string("VALUE \"") + value + "\",\\s+TARVIK_VERSION\n")))
            << value;

    // The manifest names four parts.
    std::string quad = version;
    for (auto dots = std::count(quad.begin(), quad.end(), '.'); dots < 3; ++dots) quad += ".0";
    EXPECT_NE(
        Read(build / "generated/tarvik.manifest").find("name=\"Tarvik\" version=\"" + quad + "\""),
        std::string::npos);

    // The man page's title line.
    const std::string man = Read(build / "man/tarvikctl.1");
    const std::string title = man.substr(0, man.find('\n'));
    EXPECT_NE(title.find("\"Tarvik " + version + "\""), std::string::npos) << title;

    // tarvikctl --version.
    const fs::path ctl = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
    ASSERT_TRUE(fs::exists(ctl)) << ctl;
    FILE* pipe = ::popen((ctl.string() + " --version").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_TRUE(read);
    EXPECT_EQ(std::string(line), "tarvikctl " + version + "\n");

    // The window captions and tips that spell "Tarvik N.N" out (wide literals;
    // the narrow "Tarvik 2.0" and "2.1" are old start entries the program removes).
    const std::regex spelled(R"([uL]"Tarvik (\d+\.\d+(\.\d+)*))");
    for (const auto& entry : fs::recursive_directory_iterator(source / "src")) {
        if (!entry.is_regular_file()) continue;
        const std::string text = Read(entry.path());
        for (std::sregex_iterator it(text.begin(), text.end(), spelled), end; it != end; ++it) {
            EXPECT_EQ((*it)[1].str(), version) << entry.path();
        }
    }
}

}  // namespace
}  // namespace tarvik
