#pragma once
// Settings records are read and written as tables of (value name, field) rows
// under one key; these are the row operations both the global settings and
// the drive records use.
#include <cstddef>
#include <cstdint>

#include "platform/registry.h"

namespace tarvik {

template <class Record>
struct Row {
    const char* name;
    uint32_t Record::*field;
};

// A REG_DWORD is read into a 4-byte buffer whatever its stored type; a shorter
// value replaces only the low bytes, a missing or longer one nothing.
bool ReadDword(const RegKey& key, const char* name, uint32_t* field);

// Every row is tried, even after a miss; true when all were present.
template <class Record, class RowType, size_t N>
bool ReadTable(const RegKey& key, const RowType (&rows)[N], Record* record) {
    bool complete = true;
    for (const auto& row : rows)
        complete = ReadDword(key, row.name, &(record->*row.field)) && complete;
    return complete;
}

template <class Record, class RowType, size_t N>
void WriteTable(const RegKey& key, const RowType (&rows)[N], const Record& record) {
    for (const auto& row : rows) (void)key.SetDword(row.name, record.*row.field);
}

// Reads a string into a fixed field. A value longer than the field fails and
// leaves the field as it was; whatever the registry holds, the field ends
// terminated.
bool ReadString(const RegKey& key, const char* name, char* field, uint32_t fieldSize);
void WriteString(const RegKey& key, const char* name, const char* field, uint32_t fieldSize);

}  // namespace tarvik
