// Arguments.cpp: the port rule and the reply-address limit for the
// command-line texts, with the message that names a broken one.
#include "Arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "Build_Variant.h"
#include "Message_Vector.h"

namespace {

// Enough of a bad text to recognise it, never a screenful.
constexpr std::size_t SHOWN_TEXT_LEN = 40;

std::string quoted(const std::string& text) {
    const std::string cut = escapeForDisplay(text.substr(0, SHOWN_TEXT_LEN));
    return "\"" + cut + (text.size() > SHOWN_TEXT_LEN ? "...\"" : "\"");
}

}  // namespace

bool isValidPortText(const std::string& text) {
    const bool digits_only =
        !text.empty() && text.size() <= 5 &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    if (!digits_only) return false;
    const int value = std::atoi(text.c_str());
    return value >= 1 && value <= 65535;
}

std::string argumentError(const std::string& dest_port, const std::string& reply_ip,
                          const std::string& listen_port) {
    if (!isValidPortText(dest_port)) {
        return "Invalid destination port " + quoted(dest_port) +
               ": a port is a number from 1 to 65535.";
    }
    if (listen_port != "0" && !isValidPortText(listen_port)) {
        return "Invalid listen port " + quoted(listen_port) +
               ": a port is a number from 1 to 65535 (0 for 4555).";
    }
    // The 32-bit build sends the reply address whole, with its NUL, in one
    // packet: one that cannot fit would make every send fail.
    if (I386_BUILD && reply_ip.size() > MAX_WHOLE_TEXT_LEN) {
        return "Invalid reply address " + quoted(reply_ip) + ": it is " +
               std::to_string(reply_ip.size()) + " bytes long; it may be at most " +
               std::to_string(MAX_WHOLE_TEXT_LEN) + " bytes.";
    }
    return {};
}
