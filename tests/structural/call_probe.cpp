// SPDX-License-Identifier: MIT
// Replaces malloc, calloc, realloc and operator new, and interposes send,
// sendto, sendmsg, write and writev, all in this executable: the dynamic
// linker binds libquorvel.so's calls to these first.
#include "call_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <array>
#include <cstdlib>
#include <new>

namespace quorvel::testing {
namespace {

// Plain arrays with constant initialisation: touching them never allocates.
thread_local bool counting = false;
thread_local long allocations = 0;
constexpr std::size_t max_writes = 64;
thread_local std::array<std::size_t, max_writes> write_sizes{};
thread_local std::size_t write_count = 0;

[[maybe_unused]] void note_allocation() {
    if (counting) ++allocations;
}

void note_write(std::size_t bytes) {
    if (!counting) return;
    if (write_count < max_writes) write_sizes[write_count] = bytes;
    ++write_count;
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using SendFn = ssize_t (*)(int, const void*, size_t, int);
using SendToFn = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);
using SendMsgFn = ssize_t (*)(int, const msghdr*, int);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using WriteVFn = ssize_t (*)(int, const iovec*, int);

// Resolved before main, while nothing is counted (dlsym may allocate).
struct RealCalls {
    SendFn send = real<SendFn>("send");
    SendToFn sendto = real<SendToFn>("sendto");
    SendMsgFn sendmsg = real<SendMsgFn>("sendmsg");
    WriteFn write = real<WriteFn>("write");
    WriteVFn writev = real<WriteVFn>("writev");
};
const RealCalls& real_calls() {
    static const RealCalls calls;
    return calls;
}
[[maybe_unused]] const RealCalls& resolved_at_start = real_calls();

}  // namespace

CallProbe::CallProbe() {
    allocations = 0;
    write_count = 0;
    counting = true;
}

CallProbe::~CallProbe() {
    counting = false;
}

CallCounts CallProbe::finish() {
    counting = false;
    CallCounts counts;
    counts.allocations = allocations;
    for (std::size_t i = 0; i < write_count && i < max_writes; ++i)
        counts.writes.push_back(write_sizes[i]);
    return counts;
}

#ifdef QUORVEL_COUNT_HEAP
bool heap_counting_available() {
    return true;
}
#else
bool heap_counting_available() {
    return false;
}
#endif

}  // namespace quorvel::testing

using quorvel::testing::note_allocation;
using quorvel::testing::note_write;
using quorvel::testing::real_calls;

extern "C" {

ssize_t send(int fd, const void* data, size_t length, int flags) {
    note_write(length);
    return real_calls().send(fd, data, length, flags);
}

ssize_t sendto(int fd, const void* data, size_t length, int flags, const sockaddr* to,
               socklen_t to_length) {
    note_write(length);
    return real_calls().sendto(fd, data, length, flags, to, to_length);
}

ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < message->msg_iovlen; ++i) length += message->msg_iov[i].iov_len;
    note_write(length);
    return real_calls().sendmsg(fd, message, flags);
}

ssize_t write(int fd, const void* data, size_t length) {
    note_write(length);
    return real_calls().write(fd, data, length);
}

ssize_t writev(int fd, const iovec* parts, int count) {
    std::size_t length = 0;
    for (int i = 0; i < count; ++i) length += parts[i].iov_len;
    note_write(length);
    return real_calls().writev(fd, parts, count);
}

}  // extern "C"

#ifdef QUORVEL_COUNT_HEAP
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
    note_allocation();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    note_allocation();
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
    note_allocation();
    return __libc_realloc(block, size);
}
}  // extern "C"

void* operator new(std::size_t size) {
    note_allocation();
    if (void* block = __libc_malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    note_allocation();
    return __libc_malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
#endif
