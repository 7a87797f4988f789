// Net_Library.cpp: SDL_net's start and end with the SIGPIPE disposition kept.
#include "Net_Library.h"

#include <SDL_net.h>

#include <csignal>

namespace {

struct sigaction noted_sigpipe {};

// The whole record, flags and mask too.
void putBackSigpipeDisposition() { sigaction(SIGPIPE, &noted_sigpipe, nullptr); }

}  // namespace

void noteSigpipeDisposition() { sigaction(SIGPIPE, nullptr, &noted_sigpipe); }

int startSdlNet() {
    const int result = SDLNet_Init();
    putBackSigpipeDisposition();
    return result;
}

void quitSdlNet() {
    SDLNet_Quit();
    putBackSigpipeDisposition();
}
