// SPDX-License-Identifier: MIT
// Telling whoever started the printer that it is listening: a ready file
// with its addresses, and systemd's notify socket when there is one.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvel::printer {

// KEY=value lines ("tcp=127.0.0.1:9100", "http=http://127.0.0.1:8080/").
using ReadyInfo = std::vector<std::pair<std::string, std::string>>;

// Called once, when every address is bound and served: writes `path` (if
// not empty) whole, through a temporary file and a rename, so a reader never
// sees half of it; then tells systemd (Type=notify) when NOTIFY_SOCKET is set.
bool announce_ready(const std::string& path, const ReadyInfo& info, std::string* error);

// Sends "READY=1" and a STATUS line to $NOTIFY_SOCKET; false when unset or
// unreachable.
bool notify_systemd(const std::string& status);

}  // namespace quorvel::printer
