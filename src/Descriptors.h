// Descriptors.h: the descriptors the program relies on: the three standard
// ones made safe at start, and waited on where they are non-blocking; two
// below FD_SETSIZE for the sockets, which SDL_net waits on with select(); the
// one behind an SDL_net socket, and its receive buffer.
#pragma once

#include <SDL_net.h>

#include <string>

// Refuses a closed standard output (one line on standard error, status 1),
// and puts /dev/null on a closed standard input or error, so that no socket
// ever takes descriptor 0, 1 or 2; where /dev/null cannot be opened, that
// ends the program too.
void secureStandardDescriptors();

// Empty text when the program's two sockets will get descriptors that
// select() can take; otherwise the one line that says why they will not
// (too many descriptors inherited).
std::string socketDescriptorError();

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT), as a read or
// write on a descriptor that another program left non-blocking must; a
// signal or an error ends the wait too, and the next read or write tells
// which.
void waitUntilReady(int fd, short events);

// The descriptor of an open SDL_net UDP socket, found among 0 to
// FD_SETSIZE - 1; -1 when none there is it.
int descriptorOf(UDPsocket socket);

// Asks for a receive buffer of 1 MiB on the socket `fd` (the system grants
// at most net.core.rmem_max, and counts twice what it grants), so that more
// datagrams wait there while the copy cannot receive, as while its output is
// stopped with Ctrl-S; where the system's default is as large, it stays.
void enlargeReceiveBuffer(int fd);
