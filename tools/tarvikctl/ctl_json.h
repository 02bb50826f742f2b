#pragma once
// tarvikctl's JSON output: nlohmann-json documents with their members in the
// order they were added.
#include <string>

#include <nlohmann/json.hpp>

namespace tarvik::ctl {

using Json = nlohmann::ordered_json;

// The document as text (indent < 0: one line). Strings from drives and the
// registry need not be UTF-8: what is not is replaced, never thrown over.
inline std::string JsonText(const Json& j, int indent) {
    return j.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace tarvik::ctl
