// Arguments.h: checking the command-line texts before anything is printed,
// asked or bound.
#pragma once

#include <cstdint>
#include <string>

// The listen port text "0" stands for this port.
constexpr const char* DEFAULT_LISTEN_PORT = "4555";
bool meansDefaultListenPort(const std::string& listen_port);

// The port a text names, read as atoi reads it (leading white space, a sign,
// decimal digits, anything after them ignored), when that is 1 to 65535; -1
// for a text with no digits or with a value out of that range, which atoi
// would silently turn into port 0 or another port.
int portNamedBy(const std::string& text);

// The port of a text that argumentError has let through.
std::uint16_t portFromText(const std::string& text);

// The one line that says why the arguments cannot be used, or empty text when
// they can: a destination port or listen port that names no port (the listen
// port may also be exactly "0", for 4555), or, where the reply address and
// the listen port travel whole, one too long for its packet.
std::string argumentError(const std::string& dest_port, const std::string& reply_ip,
                          const std::string& listen_port);
