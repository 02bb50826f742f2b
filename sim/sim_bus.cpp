#include "sim_bus.h"

#include <nlohmann/json.hpp>

namespace tarvik::sim {

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 0x0F];
    }
    return s;
}

}  // namespace

std::string TraceJson(const TraceEntry& e) {
    nlohmann::ordered_json j;
    j["t"] = e.t;
    j["drive"] = e.drive;
    j["cdb"] = Hex(e.cdb);
    if (!e.out.empty()) j["out"] = Hex(e.out);
    switch (e.outcome.completion) {
        case Completion::Done:
            j["status"] = e.outcome.status;
            if (e.outcome.status == 2) j["sense"] = SenseText(e.outcome.sense);
            break;
        case Completion::TransportError:
            j["status"] = -1;
            j["error"] = "transport";
            break;
        case Completion::Timeout:
            j["status"] = -1;
            j["error"] = "timeout";
            break;
        case Completion::Gone:
            j["status"] = -1;
            j["error"] = "gone";
            break;
    }
    j["in"] = e.outcome.bytesIn;
    return j.dump();
}

Bus::Bus() : clock_(&ownClock_) {}

Bus::~Bus() { CloseTraceFile(); }

int Bus::Add(Profile profile) {
    if (drives_.size() >= kMaxSimDrives) return -1;
    drives_.push_back(std::make_unique<Drive>(std::move(profile), forward_));
    return static_cast<int>(drives_.size() - 1);
}

bool Bus::AddFile(const std::string& path, std::string& error) {
    Profile p;
    if (!LoadProfileFile(path, p, error)) return false;
    if (Add(std::move(p)) < 0) {
        error = path + ": more than " + std::to_string(kMaxSimDrives) + " simulated drives";
        return false;
    }
    return true;
}

char Bus::Letter(size_t index) const {
    if (index >= drives_.size()) return 0;
    const char named = drives_[index]->profile().letter;
    return named ? named : static_cast<char>('D' + index);
}

int Bus::FindLetter(char letter) const {
    for (size_t i = 0; i < drives_.size(); ++i)
        if (Letter(i) == letter) return static_cast<int>(i);
    return -1;
}

Outcome Bus::Execute(size_t index, const Command& cmd) {
    TraceEntry e;
    e.t = clock_->TickCount();
    e.drive = static_cast<unsigned>(index);
    e.cdb.assign(cmd.cdb.begin(), cmd.cdb.end());
    e.out.assign(cmd.dataOut.begin(), cmd.dataOut.end());
    e.outcome =
        index < drives_.size() ? drives_[index]->Execute(cmd) : Outcome{Completion::Gone, 0, {}, 0};
    if (traceFile_) {
        const std::string line = TraceJson(e) + "\n";
        std::fwrite(line.data(), 1, line.size(), traceFile_);
        std::fflush(traceFile_);
    }
    const Outcome outcome = e.outcome;
    if (keepTrace_) trace_.push_back(std::move(e));
    return outcome;
}

bool Bus::OpenTraceFile(const std::string& path, bool append) {
    CloseTraceFile();
    traceFile_ = std::fopen(path.c_str(), append ? "ab" : "wb");
    return traceFile_ != nullptr;
}

void Bus::CloseTraceFile() {
    if (traceFile_) std::fclose(traceFile_);
    traceFile_ = nullptr;
}

}  // namespace tarvik::sim
