// SPDX-License-Identifier: MIT
// Receipts as JSON, and the files beside each receipt's PNG (shared by the
// receipt store and the API; the public calls are in receipt_store.h).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "web/receipt_store.h"

namespace quorvel::printer {

nlohmann::json text_json(const PageContent& content);
nlohmann::json symbols_json(const PageContent& content);
nlohmann::json info_json(const ReceiptInfo& r, const std::string& api);
bool read_file(const std::string& path, std::string* out);
bool write_file(const std::string& path, std::string_view data);
// The companion file of a receipt: its journal, text and symbols.
std::string companion_json(const ReceiptDetail& detail);
// Reads one back into *out (bytes aside); false when it is not one.
bool parse_companion(const std::string& side, ReceiptDetail* out);

}  // namespace quorvel::printer
