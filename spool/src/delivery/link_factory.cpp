// SPDX-License-Identifier: MIT
// The link for each kind of printer address: all through the library.
#include "link.h"

namespace quorvel::spool {

std::unique_ptr<Link> make_library_link(const PrinterConfig& printer, const LinkTimings& timings);

std::unique_ptr<Link> make_link(const PrinterConfig& printer, const LinkTimings& timings) {
    return make_library_link(printer, timings);
}

bool link_supported(LinkKind) {
    return true;
}

}  // namespace quorvel::spool
