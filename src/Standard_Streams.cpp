// Standard_Streams.cpp: the standard descriptors checked at start, standard
// input and a line buffer for standard output that wait instead of failing
// while the input is empty or the output full, the caller's SIGPIPE
// disposition, and the end of the program when output fails.
#include "Standard_Streams.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ext/stdio_sync_filebuf.h>
#include <initializer_list>
#include <iostream>

namespace {

struct sigaction sigpipe_at_start {};

// The reason of the write that failed, for the one line that ends the copy.
int failed_write_errno = 0;

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// A signal or an error ends the wait; the next read or write tells which.
void waitUntil(int fd, short event) {
    pollfd watched{fd, event, 0};
    poll(&watched, 1, -1);
}

ssize_t readStandardInput(void* /*cookie*/, char* data, size_t size) {
    return readWaitingWhileEmpty(data, size);
}

// Writes all of `size` bytes, waiting whenever the output is full; fewer only
// when a write really failed, which marks the stream as failed.
ssize_t writeWaitingWhileFull(void* /*cookie*/, const char* data, size_t size) {
    size_t written = 0;
    while (written < size) {
        const ssize_t count = write(STDOUT_FILENO, data + written, size - written);
        if (count >= 0) {
            written += static_cast<size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntil(STDOUT_FILENO, POLLOUT);
        } else if (errno != EINTR) {
            failed_write_errno = errno;
            break;
        }
    }
    return static_cast<ssize_t>(written);
}

}  // namespace

void secureStandardDescriptors() {
    if (!isOpen(STDOUT_FILENO)) {
        std::fputs("Standard output is closed: there is nowhere to show messages.\n", stderr);
        std::exit(1);
    }
    // With standard output open, a new descriptor takes the lowest free one,
    // which is the closed one of these.
    for (const int fd : {STDIN_FILENO, STDERR_FILENO}) {
        if (!isOpen(fd) && open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) {
            std::exit(1);
        }
    }
}

ssize_t readWaitingWhileEmpty(void* data, std::size_t size) {
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, data, size);
        if (count >= 0) return count;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntil(STDIN_FILENO, POLLIN);
        } else if (errno != EINTR) {
            return count;
        }
    }
}

void readInputWaitingWhileEmpty() {
    // glibc takes a read that would block for a failure, and the stream then
    // stays failed; the reads go through a function that waits instead.
    const cookie_io_functions_t input{readStandardInput, nullptr, nullptr, nullptr};
    FILE* waiting = fopencookie(nullptr, "r", input);
    if (waiting == nullptr) return;
    stdin = waiting;
    // Never destroyed: the library's own teardown at exit comes after every
    // static object of the program's has gone, and may still use the stream.
    static auto* const buffer = new __gnu_cxx::stdio_sync_filebuf<char>(stdin);
    std::cin.rdbuf(buffer);
}

void bufferOutputByLine() {
    static char buffer[1 << 14];
    // glibc drops what a failed write held, and a write that would block
    // fails, so the writes go through a function that waits instead.
    const cookie_io_functions_t output{nullptr, writeWaitingWhileFull, nullptr, nullptr};
    if (FILE* waiting = fopencookie(nullptr, "w", output)) stdout = waiting;
    std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
}

void rememberSigpipeDisposition() { sigaction(SIGPIPE, nullptr, &sigpipe_at_start); }

void restoreSigpipeDisposition() { sigaction(SIGPIPE, &sigpipe_at_start, nullptr); }

void endIfOutputFailed() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return;
    const int reason = failed_write_errno != 0 ? failed_write_errno : EIO;
    std::fprintf(stderr, "Cannot write to standard output (%s): ending.\n", std::strerror(reason));
    std::exit(1);
}
