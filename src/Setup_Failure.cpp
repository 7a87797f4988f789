// Setup_Failure.cpp: the fatal message of a failed set-up step.
#include "Setup_Failure.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

void failSetupStep(const std::string& call, const char* fallback_reason) {
    const char* reason = SDL_GetError();
    if (reason == nullptr || *reason == '\0') reason = fallback_reason;
    std::fprintf(stderr, "FAILED!\n%s: %s\n", call.c_str(), reason);
    std::exit(1);
}
