#pragma once
// A bus of simulated drives sharing one clock, and the trace of every command
// sent to them.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim_drive.h"

namespace tarvik::sim {

struct TraceEntry {
    uint32_t t = 0;  // clock ms when the command was sent
    unsigned drive = 0;
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> out;  // data-out bytes, empty without a data-out phase
    Outcome outcome;
};

// {"t": 12, "drive": 0, "cdb": "BB00...", "out": "..", "status": 2, "sense": "05/24/00", "in": 0}
// "out" only with a data-out phase, "sense" only with CHECK CONDITION; a
// transport failure has "status": -1 and "error": "transport"|"timeout"|"gone".
std::string TraceJson(const TraceEntry& e);

constexpr unsigned kMaxSimDrives = 23;  // letters D: .. Z:

class Bus {
public:
    Bus();
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Adds a drive; returns its index, or -1 when the bus is full.
    int Add(Profile profile);
    // Loads a profile file and adds its drive; false with a message on failure.
    [[nodiscard]] bool AddFile(const std::string& path, std::string& error);

    size_t Count() const { return drives_.size(); }
    Drive& At(size_t index) { return *drives_[index]; }
    const Drive& At(size_t index) const { return *drives_[index]; }
    // Drive letter of a drive ('D' + index unless its profile names one).
    char Letter(size_t index) const;
    // Index of the drive with this letter, or -1.
    int FindLetter(char letter) const;

    // Sends one command to a drive and records it in the trace. An index
    // beyond the bus answers as a vanished device.
    Outcome Execute(size_t index, const Command& cmd);

    // The clock of the drives: a virtual one owned by the bus unless another
    // was given (the test DLL runs on the system clock).
    Clock& clock() { return forward_; }
    VirtualClock& virtualClock() { return ownClock_; }
    void UseClock(Clock* clock) { clock_ = clock ? clock : &ownClock_; }

    const std::vector<TraceEntry>& Trace() const { return trace_; }
    // A long-lived user (the test DLL) only writes the trace file.
    void KeepTraceInMemory(bool keep) { keepTrace_ = keep; }
    void ClearTrace() { trace_.clear(); }
    // Writes every later command to this file as one JSON line, after what
    // the file held (append) or into an emptied file; false when it cannot be opened.
    [[nodiscard]] bool OpenTraceFile(const std::string& path, bool append = true);
    void CloseTraceFile();

private:
    // The drives hold this one, so UseClock also moves drives added earlier.
    class Forward final : public Clock {
    public:
        explicit Forward(Bus& bus) : bus_(bus) {}
        uint32_t TickCount() override { return bus_.clock_->TickCount(); }
        void Sleep(uint32_t ms) override { bus_.clock_->Sleep(ms); }
        LocalTime Now() override { return bus_.clock_->Now(); }

    private:
        Bus& bus_;
    };

    VirtualClock ownClock_;
    Clock* clock_;
    Forward forward_{*this};
    std::vector<std::unique_ptr<Drive>> drives_;
    std::vector<TraceEntry> trace_;
    std::FILE* traceFile_ = nullptr;
    bool keepTrace_ = true;
};

}  // namespace tarvik::sim
