// SPDX-License-Identifier: MIT
// Readiness for a service manager: one datagram to the socket NOTIFY_SOCKET
// names, the protocol of Type=notify units. Without NOTIFY_SOCKET it does nothing.
#pragma once

#include <string>

namespace quorvel::printer {

// Sends "READY=1" and a one-line status. Called once every link is bound and
// served, so the unit turns active only when clients can connect.
// Returns false only when NOTIFY_SOCKET is set and the message could not go.
bool notify_ready(const std::string& status);

// Sends "STOPPING=1": the service is shutting down on request.
void notify_stopping();

}  // namespace quorvel::printer
