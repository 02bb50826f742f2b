#pragma once
// The live state of the drives of a bus (medium, tray, lock, speeds), kept in
// a small JSON file so that short-lived programs using the test ASPI library
// see what an earlier run left: a speed set in one run is in force in the next.
#include <string>

#include "sim_bus.h"

namespace tarvik::sim {

// Writes the state of every drive. False (with a message) when the file
// cannot be written.
[[nodiscard]] bool SaveBusState(const Bus& bus, const std::string& path, std::string& error);
// Restores what a state file holds into the drives of the same position and
// profile name. A missing file is not an error (nothing to restore); a corrupt
// one is reported and changes nothing.
[[nodiscard]] bool LoadBusState(Bus& bus, const std::string& path, std::string& error);

std::string BusStateText(const Bus& bus);
[[nodiscard]] bool ApplyBusStateText(Bus& bus, const std::string& text, std::string& error);

}  // namespace tarvik::sim
