// SPDX-License-Identifier: MIT
#include "virtual_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "fake_printer.h"

extern char** environ;

namespace quorvel::testing {

namespace fs = std::filesystem;

namespace {

// A copy of the 80 mm profile that ignores GS ( H.
std::string profile_without_process_id(const std::string& directory) {
    std::ifstream in(std::string(QUORVEL_PROFILE_DIR) + "/generic-80.json");
    std::stringstream text;
    text << in.rdbuf();
    std::string profile = text.str();
    const std::string on = "\"process_id_response\": true";
    const auto at = profile.find(on);
    if (at == std::string::npos)
        throw std::runtime_error("generic-80.json has no process_id_response");
    profile.replace(at, on.size(), "\"process_id_response\": false");
    const std::string path = directory + "/no-process-id.json";
    std::ofstream(path) << profile;
    return path;
}

// Chunked transfer coding taken apart; other bodies as they are.
std::string body_of(const std::string& response) {
    const auto end = response.find("\r\n\r\n");
    if (end == std::string::npos) return {};
    std::string body = response.substr(end + 4);
    if (response.substr(0, end).find("chunked") == std::string::npos) return body;
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const auto line_end = body.find("\r\n", at);
        if (line_end == std::string::npos) break;
        const std::size_t size = std::stoul(body.substr(at, line_end - at), nullptr, 16);
        if (size == 0) break;
        out += body.substr(line_end + 2, size);
        at = line_end + 2 + size + 2;
    }
    return out;
}

}  // namespace

VirtualPrinter::VirtualPrinter(Options options) {
    static int started = 0;  // several printers in one test: an address each
    address_ = unique_loopback_address("virtual printer " + std::to_string(++started));
    directory_ = (fs::temp_directory_path() /
                  ("quorvel-mechanism-" + std::to_string(::getpid()) + "-" + address_))
                     .string();
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    const std::string ready = directory_ + "/ready";
    std::vector<std::string> args = {QUORVEL_PRINTER_BINARY,
                                     "--listen",
                                     address_ + ":9100",
                                     "--http",
                                     address_ + ":8080",
                                     "--out",
                                     directory_,
                                     "--journal",
                                     directory_ + "/journal.txt",
                                     "--speed",
                                     options.speed,
                                     "--ready-file",
                                     ready};
    if (options.paper_roll_mm > 0) {
        args.push_back("--paper-roll");
        args.push_back(std::to_string(options.paper_roll_mm));
    }
    if (!options.process_id) {
        args.push_back("--profile");
        args.push_back(profile_without_process_id(directory_));
    }
    if (options.serial) {
        serial_link_ = directory_ + "/ttyQVP0";
        args.push_back("--serial-link");
        args.push_back(serial_link_);
    }
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&child_, QUORVEL_PRINTER_BINARY, nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start quorvel-printer");
    for (int wait = 0; wait < 200 && !fs::exists(ready); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!fs::exists(ready)) throw std::runtime_error("quorvel-printer did not get ready");
}

VirtualPrinter::~VirtualPrinter() {
    ::kill(child_, SIGTERM);
    ::waitpid(child_, nullptr, 0);
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
}

std::string VirtualPrinter::request(const std::string& method, const std::string& path,
                                    const std::string& body, int* status) {
    *status = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(8080);
    ::inet_pton(AF_INET, address_.c_str(), &remote.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return {};
    }
    const std::string text = method + " " + path + " HTTP/1.1\r\nHost: " + address_ +
                             ":8080\r\nContent-Type: application/json\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        ::close(fd);
        return {};
    }
    std::string response;
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 5000) <= 0) break;
        char buffer[4096];
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) break;
        response.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    if (response.size() > 12) *status = std::atoi(response.c_str() + 9);  // "HTTP/1.1 200"
    return body_of(response);
}

int VirtualPrinter::put_status(const std::string& json) {
    int status = 0;
    request("PUT", "/api/status", json, &status);
    return status;
}

std::string VirtualPrinter::get(const std::string& path) {
    int status = 0;
    std::string body = request("GET", path, "", &status);
    return status == 200 ? body : std::string();
}

std::vector<int> VirtualPrinter::receipt_ids() {
    // Newest first: "id": N of each entry.
    const std::string list = get("/api/receipts");
    std::vector<int> ids;
    for (auto at = list.find("\"id\":"); at != std::string::npos; at = list.find("\"id\":", at + 5))
        ids.insert(ids.begin(), std::atoi(list.c_str() + at + 5));
    return ids;
}

std::vector<std::string> VirtualPrinter::receipt_texts() {
    // A receipt is listed once its files are on disk, just after its cut has
    // printed: wait until the list has stopped growing (5 s at most).
    std::vector<int> ids = receipt_ids();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<int> now = receipt_ids();
        if (now == ids && !ids.empty()) break;
        ids = std::move(now);
    }
    std::vector<std::string> texts;
    for (int id : ids) texts.push_back(get("/api/receipts/" + std::to_string(id) + "/text"));
    return texts;
}

int printed_lines(const std::string& receipt_text, const std::string& line) {
    // Each line's own "text" is followed by its "y".
    const std::string whole = ",\"text\":\"" + line + "\"";
    int count = 0;
    for (auto at = receipt_text.find(whole); at != std::string::npos;
         at = receipt_text.find(whole, at + 1))
        ++count;
    return count;
}

}  // namespace quorvel::testing
