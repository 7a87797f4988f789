// Descriptors.cpp: the standard descriptors checked at start and waited on,
// room for both sockets below FD_SETSIZE, finding the descriptor of an SDL_net
// socket, and the listen socket's receive buffer.
#include "Descriptors.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }  // fails with EBADF alone

bool isBoundAt(int fd, const IPaddress& bound) {
    int type = 0;
    socklen_t type_len = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_len) != 0 || type != SOCK_DGRAM) {
        return false;
    }
    sockaddr_in local{};
    socklen_t local_len = sizeof local;
    return getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) == 0 &&
           local.sin_family == AF_INET && local.sin_addr.s_addr == bound.host &&
           local.sin_port == bound.port;
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
        if (isOpen(fd) || open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) == fd) {
            continue;
        }
        std::fprintf(stderr,
                     "Standard %s is closed, and /dev/null cannot be opened (%s): ending.\n",
                     fd == STDIN_FILENO ? "input" : "error", std::strerror(errno));
        std::exit(1);
    }
}

void waitUntilReady(int fd, short events) {
    pollfd ready{fd, events, 0};
    poll(&ready, 1, -1);
}

// SDL_net has no call that returns a socket's descriptor. The library does
// say where the socket is bound, and no other datagram socket can be bound
// there, so the descriptor is the one whose local address matches.
int descriptorOf(UDPsocket socket) {
    const IPaddress* bound = SDLNet_UDP_GetPeerAddress(socket, -1);
    for (int fd = 0; bound != nullptr && fd < FD_SETSIZE; ++fd) {
        if (isBoundAt(fd, *bound)) return fd;
    }
    return -1;
}

void enlargeReceiveBuffer(int fd) {
    constexpr int RECEIVE_BUFFER_BYTES = 1 << 20;
    int size = 0;
    socklen_t size_len = sizeof size;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &size_len) != 0 ||
        size >= 2 * RECEIVE_BUFFER_BYTES) {
        return;
    }
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &RECEIVE_BUFFER_BYTES, sizeof RECEIVE_BUFFER_BYTES);
}

std::string socketDescriptorError() {
    // A new socket takes the lowest free descriptor, so sockets opened and
    // closed now get the numbers the program's sockets will get. Fortified
    // FD_SET aborts the process on a descriptor of FD_SETSIZE or more before
    // select() runs, and no descriptor the caller passed on may be closed to
    // make room.
    const int sending = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int listening = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int socket_errno = errno;
    const int highest = std::max(sending, listening);
    for (const int probe : {sending, listening}) {
        if (probe >= 0) close(probe);
    }
    if (std::min(sending, listening) < 0 && (socket_errno == EMFILE || socket_errno == ENFILE)) {
        return std::string(
                   "Too many descriptors inherited: no descriptor is left for the two "
                   "sockets (") +
               std::strerror(socket_errno) + ").";
    }
    if (highest < FD_SETSIZE) return {};
    return "Too many descriptors inherited: the two sockets would get descriptors up to " +
           std::to_string(highest) + ", and SDL_net waits only on ones below " +
           std::to_string(FD_SETSIZE) + ".";
}
