// tarvik_faults: runs the whole fault matrix and prints its table.
//
//   tarvik_faults [--op NAME]... [--fault NAME]... [--aspi] [--cells] [--no-fork]
//
// --aspi runs the cells over the ASPI style of the transport (sense always
// returned, time-outs and gone devices as ASPI reports them) instead of SPTI.
//
// Each cell runs in a child process, so a crash, a sanitizer report or a
// cell that does not end within two real minutes is a finding of that cell
// and not the end of the run. The table has one row per operation and one
// column per fault; a cell shows the longest virtual time over the opcodes
// the operation sends, in seconds, behind its verdict:
//   ok     every opcode: in bound, invariants hold, a failure is logged
//   >b     over the operation's bound (see fault_matrix.h)
//   INV    an invariant broken        nolog  a failure the log does not name
//   CRASH  the child died (signal, sanitizer, real-time limit)
// Exit status 1 when any cell is not ok.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fault_matrix.h"

using namespace tarvik::faults;

namespace {

constexpr unsigned kRealSecondsPerCell = 120;

struct Outcome {
    bool crashed = false;
    std::string why;  // of a crash
    CellResult result;
};

tarvik::sim::TransportStyle g_style = tarvik::sim::TransportStyle::Spti;

Outcome RunIsolated(Op op, const FaultInfo* fault, uint8_t opcode, const std::string& dir,
                    bool fork) {
    Outcome out;
    if (!fork) {
        out.result = RunCell(op, fault, opcode, dir, g_style);
        return out;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return out.crashed = true, out.why = "pipe", out;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        close(pipeFds[0]);
        alarm(kRealSecondsPerCell);
        const std::string line = Serialize(RunCell(op, fault, opcode, dir, g_style)) + "\n";
        (void)!write(pipeFds[1], line.data(), line.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string line;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) line.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        out.crashed = true;
        out.why = WTERMSIG(status) == SIGALRM ? "real-time limit" : strsignal(WTERMSIG(status));
    } else if (WEXITSTATUS(status) != 0 || !Deserialize(line, out.result)) {
        out.crashed = true;
        out.why = "exit " + std::to_string(WEXITSTATUS(status));
    }
    return out;
}

bool Wanted(const std::vector<std::string>& names, const char* name) {
    if (names.empty()) return true;
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

std::string Seconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms / 1000.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> ops, faults;
    bool fork = true, cells = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--op" && i + 1 < argc) {
            ops.push_back(argv[++i]);
        } else if (a == "--fault" && i + 1 < argc) {
            faults.push_back(argv[++i]);
        } else if (a == "--aspi") {
            g_style = tarvik::sim::TransportStyle::Aspi;
        } else if (a == "--no-fork") {
            fork = false;
        } else if (a == "--cells") {
            cells = true;
        } else {
            std::fprintf(stderr,
                         "usage: tarvik_faults [--op NAME]... [--fault NAME]... [--aspi] "
                         "[--cells] [--no-fork]\n");
            return 2;
        }
    }
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("tarvik_faults." + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(dir);

    std::printf("%-15s %5s %9s", "operation", "cmds", "bound s");
    for (const FaultInfo& f : Faults())
        if (Wanted(faults, f.name)) std::printf(" %10s", f.name);
    std::printf("\n");

    std::vector<std::string> findings;
    struct Longest {
        uint64_t ms = 0;
        std::string where;
    };
    std::vector<std::pair<std::string, Longest>> longest;
    unsigned total = 0, bad = 0;
    for (const OpInfo& op : Operations()) {
        if (!Wanted(ops, op.name)) continue;
        const Outcome healthy = RunIsolated(op.op, nullptr, 0, dir, fork);
        if (healthy.crashed || !healthy.result.broken.empty()) {
            std::printf("%-15s healthy run failed: %s %s\n", op.name, healthy.why.c_str(),
                        healthy.result.broken.empty() ? "" : healthy.result.broken[0].c_str());
            ++bad;
            continue;
        }
        const uint64_t bound = BoundMs(healthy.result);
        std::printf("%-15s %5llu %9s", op.name,
                    static_cast<unsigned long long>(healthy.result.commands),
                    Seconds(bound).c_str());
        std::fflush(stdout);
        Longest most{healthy.result.ms, "healthy"};
        for (const FaultInfo& fault : Faults()) {
            if (!Wanted(faults, fault.name)) continue;
            std::string verdict = "ok";
            uint64_t worst = 0;
            for (uint8_t opcode : healthy.result.opcodes) {
                ++total;
                const Outcome o = RunIsolated(op.op, &fault, opcode, dir, fork);
                char cell[96];
                std::snprintf(cell, sizeof cell, "%s / %s / %02Xh", op.name, fault.name, opcode);
                const CellResult& r = o.result;
                std::string mark;
                if (o.crashed) {
                    mark = "CRASH";
                    findings.push_back(std::string(cell) + ": crashed (" + o.why + ")");
                } else {
                    if (!r.broken.empty()) {
                        mark = "INV";
                        for (const std::string& b : r.broken)
                            findings.push_back(std::string(cell) + ": " + b);
                    }
                    if (r.ms > bound) {
                        if (mark.empty()) mark = ">b";
                        findings.push_back(std::string(cell) + ": " + Seconds(r.ms) +
                                           " s virtual, bound " + Seconds(bound) + " s, " +
                                           std::to_string(r.commands) + " commands");
                    }
                    if (!r.logged) {
                        if (mark.empty()) mark = "nolog";
                        findings.push_back(std::string(cell) + ": the log names no failure");
                    }
                    worst = std::max(worst, r.ms);
                    if (r.ms > most.ms) most = {r.ms, cell};
                }
                if (cells)
                    std::fprintf(stderr, "%s: %s ms=%llu cmds=%llu fired=%u\n", cell,
                                 mark.empty() ? "ok" : mark.c_str(),
                                 static_cast<unsigned long long>(r.ms),
                                 static_cast<unsigned long long>(r.commands), r.fired);
                if (!mark.empty()) {
                    ++bad;
                    // The worst verdict of the opcodes stands for the cell.
                    static const char* const order[] = {"CRASH", "INV", ">b", "nolog", "ok"};
                    auto rank = [](const std::string& v) {
                        for (int i = 0; i < 5; ++i)
                            if (v == order[i]) return i;
                        return 4;
                    };
                    if (rank(mark) < rank(verdict)) verdict = mark;
                }
            }
            std::printf(" %10s", (verdict + " " + Seconds(worst)).c_str());
            std::fflush(stdout);
        }
        std::printf("\n");
        longest.push_back({op.name, most});
    }

    std::printf("\nlongest wait per operation (virtual):\n");
    for (const auto& [name, l] : longest)
        std::printf("  %-15s %10s s  %s\n", name.c_str(), Seconds(l.ms).c_str(), l.where.c_str());
    std::printf("\n%u cells, %u not ok\n", total, bad);
    for (const std::string& f : findings) std::printf("  %s\n", f.c_str());
    std::filesystem::remove_all(dir);
    return bad ? 1 : 0;
}
