// SPDX-License-Identifier: MIT
// `quorvel-spool pair`: asks the running service for a pairing code and
// shows it, for a till to pair with.
#pragma once

#include "config/config.h"

namespace quorvel::spool {

// The exit status: 0 with the code shown, 1 when the service cannot be asked.
int run_pair(const Config& config);

}  // namespace quorvel::spool
