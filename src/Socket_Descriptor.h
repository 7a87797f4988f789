// Socket_Descriptor.h: the descriptors behind SDL_net's sockets, which the
// library waits on with select() and so must stay below FD_SETSIZE.
#pragma once

#include <SDL_net.h>

#include <string>

// The descriptor of an open SDL_net UDP socket, found among 0 to
// FD_SETSIZE - 1; -1 when none there is it.
int descriptorOf(UDPsocket socket);

// Empty text when the program's two sockets will get descriptors that
// select() can take; otherwise the one line that says why they will not
// (too many descriptors inherited).
std::string socketDescriptorError();
