// SPDX-License-Identifier: MIT
#include <cstring>

#include "api/quorvel.h"
#include "link/connection.h"

namespace {
char Versao[16];  // the version text, rewritten on every call, never moved
}

extern "C" const char* QUORVEL_CALL Le_VersaoDLL() {
    quorvel::link::CallGuard guard;
    std::memcpy(Versao, "1.2.0.0", 8);
    return Versao;
}
