#pragma once
// Canned drive answers kept as hex text in tests/data ("#" starts a comment).
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarvik::testing_support {

inline std::vector<uint8_t> LoadHex(const std::string& name) {
    std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/tests/data/" + name);
    std::vector<uint8_t> bytes;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        while (words >> word) bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

}  // namespace tarvik::testing_support
