// Setup_Failure.cpp: the fatal message of a failed set-up step, and the end
// of the program when memory runs out.
#include "Setup_Failure.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

void failSetupStep(const char* call_format, ...) {
    std::fputs("FAILED!\n", stderr);
    va_list call_arguments;
    va_start(call_arguments, call_format);
    std::vfprintf(stderr, call_format, call_arguments);
    va_end(call_arguments);
    std::fprintf(stderr, ": %s\n", SDL_GetError());
    std::exit(1);
}

namespace {

// Runs inside the failed allocation: no allocation of its own. Standard
// output is written out as at any exit.
void endOutOfMemory() {
    std::fputs("Out of memory: ending.\n", stderr);
    std::exit(1);
}

}  // namespace

void endWhenMemoryRunsOut() { std::set_new_handler(endOutOfMemory); }
