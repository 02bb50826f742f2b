#pragma once
// The fault matrix: every operation a user can start, run on simulated drives
// on a virtual clock while drive 0 fails one opcode in one way, and what each
// such cell leaves behind: how long it took, whether the drive list and the
// stored settings still hold together, and whether the log says what failed.
//
// A cell's bound is the worst the transport allows for the same operation on a
// healthy drive: every command of the healthy run tried three times, each up
// to its 30-second time-out, with the two half-second NOT READY waits between,
// plus one medium wait (29 x 500 ms) for each state check it made. An
// operation that runs longer than that has found a way to spend time the
// transport does not account for: more commands, or longer waits.
#include <cstdint>
#include <string>
#include <vector>

#include "sim_profile.h"
#include "sim_transport.h"

namespace tarvik::faults {

enum class Op {
    Start1,  // first start with one drive: its model is examined and stored
    Start4,  // start with four drives whose models are stored
    Start16,
    StateCheck,  // a left click: every drive checked, the speed menu shown
    SetSpeed,
    Restore,
    Faster,
    Slower,
    DetectFast,  // the drive options dialog: detection, then OK
    DetectFull,
    DetectMeasure,
    Eject,
    Close,        // with the restore on tray close and its polls
    LockedEject,  // AutoLock: unlock, eject, lock
    TimerTick,    // five seconds of the main timer: check, lock, restore
    MediaArrival,
    Resume,
    SessionEnd,      // eject disks, close trays, reminders
    DriveOptionsOk,  // the dialog opened and confirmed unchanged
};

struct OpInfo {
    Op op;
    const char* name;
};
const std::vector<OpInfo>& Operations();

struct FaultInfo {
    const char* name;
    sim::FaultRule rule;  // opcode set per cell
    bool fails;           // the command ends in an error (not a spoilt answer)
};
const std::vector<FaultInfo>& Faults();

struct CellResult {
    uint64_t ms = 0;                  // virtual time the operation took
    uint64_t commands = 0;            // commands sent to every drive
    uint64_t checks = 0;              // MODE SENSE commands (each a state check)
    uint32_t fired = 0;               // commands the fault hit
    bool logged = true;               // the log names a failure (when the fault fired and fails)
    bool named = false;               // the log names a failure of the opcode's own operation
    std::vector<std::string> broken;  // invariants that do not hold afterwards
    std::vector<uint8_t> opcodes;     // distinct opcodes sent to drive 0, in order of first use
};

// Runs one cell: the operation with the fault on `opcode` of drive 0, or
// healthy when fault is null (its log is still searched for a failure of
// `opcode`), over the SPTI or the ASPI style of transport.
// The log goes to a file under logDir (which must exist); the process-wide
// state (registry, settings, drive list, transport, clock) is set up and
// torn down by the call.
CellResult RunCell(Op op, const FaultInfo* fault, uint8_t opcode, const std::string& logDir,
                   sim::TransportStyle style = sim::TransportStyle::Spti);

// The bound of an operation from its healthy run (see above).
uint64_t BoundMs(const CellResult& healthy);

// One line per cell for a pipe between processes, and back.
std::string Serialize(const CellResult& r);
bool Deserialize(const std::string& line, CellResult& r);

}  // namespace tarvik::faults
