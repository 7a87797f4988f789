// Standard_Output.cpp: a line buffer for standard output, written out with
// write() so that a full output is waited for instead of failing.
#include "Standard_Output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Descriptors.h"

namespace {

// Room for a whole received vector, so that it reaches the output in one
// write. Plain bytes, with nothing to destroy: the exit's own flush can use it
// whenever it runs.
constexpr std::size_t BUFFER_LEN = 1 << 14;
char buffer[BUFFER_LEN];
std::size_t held = 0;

// The reason of the write that failed; from then on nothing is written.
int failed_write_errno = 0;

void writeAll(const char* data, std::size_t size) {
    while (size > 0 && failed_write_errno == 0) {
        const ssize_t count = write(STDOUT_FILENO, data, size);
        if (count >= 0) {
            data += count;
            size -= static_cast<std::size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(STDOUT_FILENO, POLLOUT);
        } else if (errno != EINTR) {
            failed_write_errno = errno;
        }
    }
}

void append(std::string_view text) {
    if (held + text.size() > BUFFER_LEN) flushOutput();
    if (text.size() > BUFFER_LEN) {
        writeAll(text.data(), text.size());
    } else {
        std::memcpy(buffer + held, text.data(), text.size());
        held += text.size();
    }
}

// As a line-buffered stdio stream does: everything up to the last newline
// goes out at once, and what follows it (a prompt, a progress text) is held.
void hold(std::string_view text) {
    const std::size_t line_end = text.rfind('\n');
    if (line_end != std::string_view::npos) {
        append(text.substr(0, line_end + 1));
        flushOutput();
        text.remove_prefix(line_end + 1);
    }
    append(text);
}

[[maybe_unused]] const bool written_out_at_exit = std::atexit(flushOutput) == 0;

}  // namespace

void print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    // A longer text (an argument of any length) gets room of its own.
    // (The program prints no wide characters, the one failure of vsnprintf.)
    char text[1024];
    const auto length =
        static_cast<std::size_t>(std::vsnprintf(text, sizeof text, format, arguments));
    if (length < sizeof text) {
        hold(std::string_view(text, length));
    } else {
        std::string long_text(length + 1, '\0');
        std::vsnprintf(long_text.data(), long_text.size(), format, again);
        long_text.pop_back();
        hold(long_text);
    }
    va_end(again);
    va_end(arguments);
}

void printText(std::string_view text) { hold(text); }

void printLine(std::string_view line) {
    hold(line);
    hold("\n");
}

void flushOutput() {
    writeAll(buffer, held);
    held = 0;
}

void endIfOutputFailed() {
    flushOutput();
    if (failed_write_errno == 0) return;
    std::fprintf(stderr, "Cannot write to standard output (%s): ending.\n",
                 std::strerror(failed_write_errno));
    std::exit(1);
}
