// Standard_Input.cpp: the waiting read of standard input, and its words.
#include "Standard_Input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "Descriptors.h"

ssize_t readWaitingWhileEmpty(void* data, std::size_t size) {
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, data, size);
        if (count >= 0) return count;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(STDIN_FILENO, POLLIN);
        } else if (errno != EINTR) {
            return count;
        }
    }
}

Word_Reader& standardInput() {
    // Made before the program runs (the constructor is constexpr), with
    // nothing to destroy: it serves until the very end of the process.
    static Word_Reader words(readWaitingWhileEmpty);
    return words;
}
