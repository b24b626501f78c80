// SPDX-License-Identifier: MIT
#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace quorvel::testing {

ProgramResult run_program(const std::vector<std::string>& argv, const std::string& input,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          std::chrono::seconds limit) {
    int to_child[2], from_out[2], from_err[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_out, O_CLOEXEC) != 0 ||
        ::pipe2(from_err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::dup2(to_child[0], 0);
        ::dup2(from_out[1], 1);
        ::dup2(from_err[1], 2);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_out[1]);
    ::close(from_err[1]);

    ::signal(SIGPIPE, SIG_IGN);  // the child may exit without reading its input
    ProgramResult result;
    std::size_t fed = 0;
    int in_fd = to_child[1];
    if (input.empty()) {
        ::close(in_fd);
        in_fd = -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        pollfd fds[3] = {{out_open ? from_out[0] : -1, POLLIN, 0},
                         {err_open ? from_err[0] : -1, POLLIN, 0},
                         {in_fd, POLLOUT, 0}};
        if (::poll(fds, 3, static_cast<int>(left.count())) < 0) continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(count));
            } else {
                (i == 0 ? out_open : err_open) = false;
            }
        }
        if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t count = ::write(in_fd, input.data() + fed, input.size() - fed);
            if (count > 0) fed += static_cast<std::size_t>(count);
            if (count <= 0 || fed == input.size()) {
                ::close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0) ::close(in_fd);
    ::close(from_out[0]);
    ::close(from_err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

}  // namespace quorvel::testing
