#pragma once
// A command run on a pseudo terminal, as a person at a terminal runs it: its
// stdin, stdout and stderr are the terminal (a redirection in the command
// moves one elsewhere). What the terminal showed comes back, and the input is
// typed only once the text it answers has appeared: a program that turns the
// echo off may flush what was typed ahead.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace tarvik {

struct PtyRun {
    int rc = -1;
    std::string screen;  // every byte the terminal received, \r\n as the line discipline makes it
};

// script: (text to wait for, keys to type) in order. Gives up after 20 s.
inline PtyRun RunOnPty(const std::string& command,
                       const std::vector<std::pair<std::string, std::string>>& script = {}) {
    PtyRun r;
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return r;
    const pid_t pid = ::fork();
    if (pid == 0) {
        (void)::setsid();
        (void)::ioctl(slave, TIOCSCTTY, 0);
        for (int fd = 0; fd < 3; ++fd) (void)::dup2(slave, fd);
        ::close(master);
        ::close(slave);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    size_t step = 0;
    int waited = 0;
    for (; waited < 20000;) {
        if (step < script.size() && r.screen.find(script[step].first) != std::string::npos) {
            const std::string& keys = script[step++].second;
            (void)!::write(master, keys.data(), keys.size());
            continue;
        }
        pollfd p{master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready == 0) {
            waited += 100;
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO: the last holder of the terminal has closed it
        r.screen.append(buffer, static_cast<size_t>(n));
    }
    ::close(master);
    if (waited >= 20000) (void)::kill(pid, SIGKILL);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid)
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

}  // namespace tarvik
