// SPDX-License-Identifier: MIT
// Small helpers the suites share around the exported functions.
#pragma once

#include <string>

#include "quorvel.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#endif

namespace quorvel::testing {

// The calling thread's last error message.
inline std::string last_message() {
    char text[QUORVEL_ERROR_MESSAGE_SIZE];
    quorvel_last_error(text, sizeof text);
    return text;
}

#ifndef _WIN32
// Runs body in a child process and returns its exit code (-1 when it did not
// exit normally): for what the test process itself must not do, such as
// dropping its privileges.
inline int in_child(const std::function<int()>& body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace quorvel::testing
