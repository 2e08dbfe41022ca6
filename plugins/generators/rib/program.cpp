#include "plugins/generators/rib/program.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

extern char** environ;

namespace ovo {
namespace rib {

Programs::~Programs() {
    for (auto& entry : running) stop(entry.second);
}

void Programs::stop(Running& p) {
    if (p.channel >= 0) close(p.channel);  // the program sees the end of its input
    if (p.pid > 0) {
        int status;
        while (waitpid(p.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    p = Running();
}

bool Programs::start(const std::string& command, const std::string& folder, Running& p,
                     std::string& error) {
    // A socket rather than two pipes: writing to a program that has quit then fails with
    // EPIPE (MSG_NOSIGNAL) instead of raising SIGPIPE in the whole renderer.
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = std::strerror(errno);
        return false;
    }
    // The child runs in the scene's folder, so relative program names work as they read.
    std::string quoted = "'";
    for (char c : folder) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const std::string line = folder.empty() ? command : "cd " + quoted + " && exec " + command;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (failed != 0) {
        close(ends[0]);
        error = std::strerror(failed);
        return false;
    }
    p.pid = pid;
    p.channel = ends[0];
    return true;
}

bool Programs::run(const std::string& command, const std::string& folder, double detail,
                   const std::string& data, std::string& rib, std::string& error) {
    rib.clear();
    Running& p = running[command];
    if (p.pid < 0 && !start(command, folder, p, error)) {
        running.erase(command);
        return false;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%g ", detail);
    const std::string request = number + data + "\n";
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n =
            send(p.channel, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "the program does not read its input";
            stop(p);
            running.erase(command);
            return false;
        }
        sent += std::size_t(n);
    }
    char buffer[1 << 14];
    for (;;) {
        const ssize_t n = read(p.channel, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const char* end = static_cast<const char*>(std::memchr(buffer, '\377', std::size_t(n)));
        rib.append(buffer, end ? std::size_t(end - buffer) : std::size_t(n));
        if (end) return true;  // the rest of a read is the next answer's: programs wait first
    }
    error = "the program ended before the end of its output";
    stop(p);
    running.erase(command);
    return false;
}

}  // namespace rib
}  // namespace ovo
