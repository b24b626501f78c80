// SPDX-License-Identifier: MIT
#include "config.h"

#include <arpa/inet.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "../access/access.h"

namespace quorvel::spool {

using nlohmann::json;

namespace {

// Link kinds by their prefix in a printer's address.
constexpr std::pair<const char*, LinkKind> LINK_KINDS[] = {
    {"tcp", LinkKind::tcp},
    {"serial", LinkKind::serial},
    {"queue", LinkKind::queue},
    {"device", LinkKind::device},
};

// "tcp:ADDR:PORT" and the others into `p`; an error message or empty.
std::string parse_link(const std::string& text, PrinterConfig* p) {
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    for (const auto& [name, k] : LINK_KINDS) {
        if (kind != name) continue;
        p->kind = k;
        if (rest.empty() || rest.size() > 255) return kind + ": needs a target after the colon";
        if (k != LinkKind::tcp) {
            p->target = rest;
            return {};
        }
        // ADDR:PORT, ADDR alone (port 9100), or [IPv6]:PORT.
        static const std::regex FORM(R"(^(\[[0-9A-Fa-f:.]+\]|[0-9.]+)(?::(\d{1,5}))?$)");
        std::smatch m;
        if (!std::regex_match(rest, m, FORM))
            return "tcp: \"" + rest.substr(0, 64) + "\" is not ADDR:PORT (an address literal)";
        std::string host = m[1].str();
        if (host.front() == '[') host = host.substr(1, host.size() - 2);
        const int port = m[2].matched ? std::stoi(m[2].str()) : 9100;
        if (port < 1 || port > 65535) return "tcp: port must be 1 to 65535";
        p->target = host;
        p->port = port;
        return {};
    }
    return std::string("\"")
        .append(kind, 0, 16)
        .append("\" is not a link (tcp, serial, queue or device)");
}

// One setting by name from a string value (the command line) or JSON.
std::string apply_setting(PrinterConfig* p, const std::string& key, const json& v) {
    auto number = [&](double* out, double lo) -> std::string {
        double d = 0;
        if (v.is_number())
            d = v.get<double>();
        else if (v.is_string()) {
            std::istringstream in(v.get<std::string>());
            if (!(in >> d) || !in.eof()) return key + " must be a number of seconds";
        } else {
            return key + " must be a number of seconds";
        }
        if (!(d >= lo) || d > 31536000) return key + " must be between 0 and a year";
        *out = d;
        return {};
    };
    auto text = [&]() -> std::optional<std::string> {
        if (!v.is_string()) return std::nullopt;
        return v.get<std::string>();
    };
    if (key == "model") {
        if (v.is_number_integer()) {
            p->model = v.get<int>();
        } else if (auto t = text(); t && !t->empty() && t->size() < 4 &&
                                    t->find_first_not_of("0123456789") == std::string::npos) {
            p->model = std::stoi(*t);
        } else {
            return "model must be a whole number";
        }
        if (p->model < 0 || p->model > 255) return "model must be 0 to 255";
        return {};
    }
    if (key == "baud") {
        double b = 0;
        if (auto why = number(&b, 1200); !why.empty() || b > 921600 || b != static_cast<int>(b))
            return "baud must be a serial speed from 1200 to 921600";
        p->baud = static_cast<int>(b);
        return {};
    }
    if (key == "fallback") {
        auto t = text();
        if (!t) return "fallback must be a printer's name";
        p->fallback = *t;
        return {};
    }
    if (key == "fallback_after") return number(&p->fallback_after, 0);
    if (key == "expire_after") return number(&p->expire_after, 0);
    if (key == "on_uncertain") {
        auto t = text();
        if (!t || (*t != "hold" && *t != "reprint")) return "on_uncertain must be hold or reprint";
        p->reprint_uncertain = *t == "reprint";
        return {};
    }
    if (key == "width") {
        double w = 0;
        if (auto why = number(&w, 0); !why.empty() || w != static_cast<int>(w) || w < 96 || w > 576)
            return "width must be the printable width in dots, 96 to 576 (576: 80 mm paper)";
        p->width_dots = static_cast<int>(w);
        return {};
    }
    if (key == "front") {
        auto t = text();
        if (!t) return "front must be ADDR:PORT";
        p->front = *t;
        return {};
    }
    return "unknown setting \"" + key.substr(0, 32) + "\"";
}

}  // namespace

bool valid_name(const std::string& name) {
    static const std::regex NAME(R"(^[A-Za-z0-9_-]{1,64}$)");
    return std::regex_match(name, NAME);
}

const PrinterConfig* Config::find(const std::string& name) const {
    for (const auto& p : printers)
        if (p.name == name) return &p;
    return nullptr;
}

std::optional<PrinterConfig> parse_printer_option(const std::string& text, std::string* error) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        *error = "--printer " + text.substr(0, 64) + ": expected NAME=tcp:ADDR:PORT";
        return std::nullopt;
    }
    PrinterConfig p;
    p.name = text.substr(0, eq);
    // Settings follow the address after commas: NAME=tcp:A:P,fallback=bar.
    std::vector<std::string> parts;
    std::stringstream in(text.substr(eq + 1));
    for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
    if (parts.empty()) parts.emplace_back();
    std::string why = parse_link(parts[0], &p);
    for (size_t i = 1; why.empty() && i < parts.size(); ++i) {
        const size_t e = parts[i].find('=');
        if (e == std::string::npos)
            // (Appended, not "..." + string: GCC 12 at -O3 flags that with a false -Wrestrict.)
            why = std::string("\"").append(parts[i], 0, 32).append("\" is not key=value");
        else
            why = apply_setting(&p, parts[i].substr(0, e), json(parts[i].substr(e + 1)));
    }
    if (!why.empty()) {
        *error = "--printer " + p.name.substr(0, 64) + ": " + why;
        return std::nullopt;
    }
    return p;
}

bool load_config_file(const std::string& path, Config* config, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    const json j = json::parse(in, nullptr, false);
    auto fail = [&](const std::string& why) {
        *error = path + ": " + why;
        return false;
    };
    if (j.is_discarded()) return fail("not JSON");
    if (!j.is_object()) return fail("must be a JSON object");
    for (const auto& [key, v] : j.items()) {
        if (key == "printers") {
            if (!v.is_array()) return fail("printers must be a list");
            for (size_t i = 0; i < v.size(); ++i) {
                const json& e = v[i];
                const std::string at = "printers[" + std::to_string(i) + "]";
                if (!e.is_object()) return fail(at + " must be an object");
                if (!e.contains("name") || !e["name"].is_string())
                    return fail(at + ".name is missing");
                if (!e.contains("link") || !e["link"].is_string())
                    return fail(at + ".link is missing (tcp:ADDR:PORT, serial:PATH, ...)");
                PrinterConfig p;
                p.name = e["name"].get<std::string>();
                if (auto why = parse_link(e["link"].get<std::string>(), &p); !why.empty())
                    return fail(at + ".link: " + why);
                for (const auto& [k, val] : e.items()) {
                    if (k == "name" || k == "link") continue;
                    if (auto why = apply_setting(&p, k, val); !why.empty())
                        return fail(at + "." + k + ": " + why);
                }
                config->printers.push_back(p);
            }
        } else if (key == "listen" || key == "db" || key == "ready_file" || key == "token") {
            if (!v.is_string()) return fail(key + " must be a string");
            std::string& dest = key == "listen"  ? config->listen
                                : key == "db"    ? config->db
                                : key == "token" ? config->token
                                                 : config->ready_file;
            dest = v.get<std::string>();
        } else if (key == "allowed_origins") {
            if (!v.is_array()) return fail("allowed_origins must be a list of origins");
            for (size_t i = 0; i < v.size(); ++i) {
                const std::string at = "allowed_origins[" + std::to_string(i) + "]";
                if (!v[i].is_string()) return fail(at + " must be a string");
                config->allowed_origins.push_back(v[i].get<std::string>());
            }
        } else if (key == "tokens") {
            if (!v.is_array()) return fail("tokens must be a list");
            for (size_t i = 0; i < v.size(); ++i) {
                const std::string at = "tokens[" + std::to_string(i) + "]";
                PresetToken t;
                if (v[i].is_string()) {
                    t.token = v[i].get<std::string>();
                    t.name = "preset " + std::to_string(i + 1);
                } else if (v[i].is_object() && v[i].contains("token") &&
                           v[i]["token"].is_string()) {
                    t.token = v[i]["token"].get<std::string>();
                    t.name = v[i].value("name", "preset " + std::to_string(i + 1));
                    t.origin = v[i].value("origin", "");
                    for (const auto& [k, x] : v[i].items())
                        if ((k != "token" && k != "name" && k != "origin") || !x.is_string())
                            return fail(at + "." + k.substr(0, 32) +
                                        ": only token, name and origin, as strings");
                } else {
                    return fail(at + " must be a string or {\"token\", \"name\", \"origin\"}");
                }
                if (t.token.size() < 16 || t.token.size() > 256 ||
                    t.token.find_first_of(" \t\r\n") != std::string::npos)
                    return fail(at + ": a token is 16 to 256 characters without spaces");
                config->tokens.push_back(t);
            }
        } else if (key == "max_job_bytes" || key == "max_queue" || key == "max_key_bytes") {
            if (!v.is_number_unsigned() || v.get<uint64_t>() == 0 ||
                v.get<uint64_t>() > (64u << 20))
                return fail(key + " must be a whole number from 1 to 67108864");
            const auto n = static_cast<size_t>(v.get<uint64_t>());
            (key == "max_job_bytes" ? config->limits.max_job_bytes
             : key == "max_queue"   ? config->limits.max_queue
                                    : config->limits.max_key_bytes) = n;
        } else {
            return fail("unknown field \"" + key.substr(0, 32) + "\"");
        }
    }
    return true;
}

std::string check_config(const Config& c) {
    if (c.printers.empty()) return "no printer: give --printer NAME=tcp:ADDR:PORT or --config FILE";
    for (const std::string& o : c.allowed_origins)
        if (std::string why; !valid_origin(o, &why)) return "allowed origin " + why;
    for (const PresetToken& t : c.tokens)
        if (std::string why; !t.origin.empty() && !valid_origin(t.origin, &why))
            return "token " + t.name + ": origin " + why;
    std::set<std::string> names, fronts;
    for (const auto& p : c.printers) {
        if (!valid_name(p.name))
            return "printer name \"" + p.name.substr(0, 64) +
                   "\": letters, digits, '-' and '_' only, 1 to 64 of them";
        if (!names.insert(p.name).second) return "printer " + p.name + " is given twice";
    }
    for (const auto& p : c.printers) {
        if (!p.fallback.empty()) {
            if (p.fallback == p.name) return "printer " + p.name + ": fallback is itself";
            if (!names.count(p.fallback))
                return "printer " + p.name + ": fallback " + p.fallback.substr(0, 64) +
                       " is not a printer here";
        }
        static const std::regex FRONT(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}:\d{1,5}$)");
        in_addr v4{};
        if (!p.front.empty() &&
            (!std::regex_match(p.front, FRONT) ||
             inet_pton(AF_INET, p.front.substr(0, p.front.find(':')).c_str(), &v4) != 1 ||
             std::stoi(p.front.substr(p.front.find(':') + 1)) > 65535))
            return "printer " + p.name + ": front " + p.front.substr(0, 64) +
                   ": expected IPv4ADDR:PORT";
        if (!p.front.empty() && !fronts.insert(p.front).second)
            return "printer " + p.name + ": front " + p.front + " is given twice";
    }
    return {};
}

}  // namespace quorvel::spool
