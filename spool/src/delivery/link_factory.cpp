// SPDX-License-Identifier: MIT
// The link for each kind of printer address.
#include "link.h"
#include "worker.h"

namespace quorvel::spool {

std::unique_ptr<Link> make_link(const PrinterConfig& printer, const LinkTimings& timings) {
    switch (printer.kind) {
        case LinkKind::tcp:
            return make_socket_link(printer, timings);
        case LinkKind::serial:
        case LinkKind::queue:
        case LinkKind::device:
            break;
    }
    return nullptr;
}

bool link_supported(LinkKind kind) {
    return kind == LinkKind::tcp;
}

}  // namespace quorvel::spool
