#pragma once
// Identifiers of the program's string table, one constant per entry of
// strings.inc (IDS_OK = 1, IDS_CANT_REGISTER_CLASS = 3, ...). Plain enumerators,
// so they pass wherever a string id (an unsigned number) is expected.
// Usable from the resource script's C++ neighbours and from portable code alike.

namespace tarvik {

enum StringId : unsigned {
#define TARVIK_STRING(id, name, text) name = id,
#include "strings.inc"
#undef TARVIK_STRING
};

}  // namespace tarvik
