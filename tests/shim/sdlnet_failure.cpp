// sdlnet_failure.cpp: a library the tests preload to make one SDL_net set-up
// call fail. QUENNIMARD_FAIL=NAME:N makes the Nth call of NAME (SDLNet_Init,
// SDLNet_ResolveHost, SDLNet_UDP_Open, SDLNet_AllocPacketV,
// SDLNet_AllocSocketSet or SDLNet_UDP_GetPeerAddress) return its failure,
// with SDL's error text set to QUENNIMARD_FAIL_ERROR; every other call goes
// through to the library.
// QUENNIMARD_STOP_AT_FOREGROUND_CHECK=N stops the process with SIGSTOP right
// after its Nth tcgetpgrp, as a job-control stop would land between a look at
// the terminal's foreground and what the program does next.
#include <SDL.h>
#include <SDL_net.h>
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// Counts the calls of `name` in `calls`; true when this one is to fail.
bool failsNow(const char* name, int& calls) {
    ++calls;
    const char* wanted = std::getenv("QUENNIMARD_FAIL");
    const std::size_t name_len = std::strlen(name);
    if (wanted == nullptr || std::strncmp(wanted, name, name_len) != 0 || wanted[name_len] != ':' ||
        std::atoi(wanted + name_len + 1) != calls) {
        return false;
    }
    const char* error = std::getenv("QUENNIMARD_FAIL_ERROR");
    SDL_SetError("%s", error != nullptr ? error : "");
    return true;
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int SDLNet_Init() {
    static int calls = 0;
    if (failsNow("SDLNet_Init", calls)) return -1;
    return real<int (*)()>("SDLNet_Init")();
}

int SDLNet_ResolveHost(IPaddress* address, const char* host, Uint16 port) {
    static int calls = 0;
    if (failsNow("SDLNet_ResolveHost", calls)) return -1;
    return real<int (*)(IPaddress*, const char*, Uint16)>("SDLNet_ResolveHost")(address, host,
                                                                                port);
}

UDPsocket SDLNet_UDP_Open(Uint16 port) {
    static int calls = 0;
    if (failsNow("SDLNet_UDP_Open", calls)) return nullptr;
    return real<UDPsocket (*)(Uint16)>("SDLNet_UDP_Open")(port);
}

UDPpacket** SDLNet_AllocPacketV(int howmany, int size) {
    static int calls = 0;
    if (failsNow("SDLNet_AllocPacketV", calls)) return nullptr;
    return real<UDPpacket** (*)(int, int)>("SDLNet_AllocPacketV")(howmany, size);
}

SDLNet_SocketSet SDLNet_AllocSocketSet(int maxsockets) {
    static int calls = 0;
    if (failsNow("SDLNet_AllocSocketSet", calls)) return nullptr;
    return real<SDLNet_SocketSet (*)(int)>("SDLNet_AllocSocketSet")(maxsockets);
}

IPaddress* SDLNet_UDP_GetPeerAddress(UDPsocket socket, int channel) {
    static int calls = 0;
    if (failsNow("SDLNet_UDP_GetPeerAddress", calls)) return nullptr;
    return real<IPaddress* (*)(UDPsocket, int)>("SDLNet_UDP_GetPeerAddress")(socket, channel);
}

pid_t tcgetpgrp(int fd) {
    static int calls = 0;
    const pid_t foreground = real<pid_t (*)(int)>("tcgetpgrp")(fd);
    const char* stop_at = std::getenv("QUENNIMARD_STOP_AT_FOREGROUND_CHECK");
    if (stop_at != nullptr && std::atoi(stop_at) == ++calls) raise(SIGSTOP);
    return foreground;
}
}
