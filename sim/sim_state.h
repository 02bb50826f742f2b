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
// asChange: see Drive::RestoreState.
[[nodiscard]] bool ApplyBusStateText(Bus& bus, const std::string& text, std::string& error,
                                     bool asChange = false);

// A state file shared with other processes: a long-running user (the test
// DLL inside the program) saves after its commands and picks up what another
// process (tarvikctl sim ...) wrote in between, as a user changing discs.
class SharedStateFile {
public:
    explicit SharedStateFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // At start: restores the file's state without medium-change effects.
    [[nodiscard]] bool Load(Bus& bus, std::string& error);
    // Applies the file when someone else changed it since we last saw it.
    [[nodiscard]] bool Refresh(Bus& bus, std::string& error);
    // Writes the bus state when it differs from what the file holds.
    [[nodiscard]] bool Save(const Bus& bus, std::string& error);

private:
    bool Read(std::string& text) const;
    std::string path_;
    std::string seen_;  // the file text last read or written
};

}  // namespace tarvik::sim
