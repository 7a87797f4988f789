// Arguments.h: checking the command-line texts before anything is printed,
// asked or bound.
#pragma once

#include <string>

// A port text is 1 to 5 decimal digits with a value from 1 to 65535.
bool isValidPortText(const std::string& text);

// The one line that says why the arguments cannot be used, or empty text when
// they can: a destination port or listen port that breaks the port rule (the
// listen port may also be exactly "0", for 4555), or, where the reply address
// travels whole, a reply address too long for its packet.
std::string argumentError(const std::string& dest_port, const std::string& reply_ip,
                          const std::string& listen_port);
