// Standard_Output.cpp: line buffering of standard output, the caller's
// SIGPIPE disposition, and the end of the program when output fails.
#include "Standard_Output.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

struct sigaction sigpipe_at_start {};

}  // namespace

void bufferOutputByLine() {
    static char buffer[1 << 14];
    std::setvbuf(stdout, buffer, _IOLBF, sizeof buffer);
}

void rememberSigpipeDisposition() { sigaction(SIGPIPE, nullptr, &sigpipe_at_start); }

void restoreSigpipeDisposition() { sigaction(SIGPIPE, &sigpipe_at_start, nullptr); }

void endIfOutputFailed() {
    if (!std::ferror(stdout)) return;
    std::fputs("Cannot write to standard output (is its reader gone?): ending.\n", stderr);
    std::exit(1);
}
