// Arguments.cpp: the port rule, the default listen port and the
// reply-address limit for the command-line texts, with the message that
// names a broken one.
#include "Arguments.h"

#include <cctype>
#include <initializer_list>
#include <utility>

#include "Build_Variant.h"
#include "Display_Text.h"
#include "Message_Vector.h"

namespace {

// Enough of a bad text to recognise it, never a screenful.
constexpr std::size_t SHOWN_TEXT_LEN = 40;

std::string quoted(const std::string& text) {
    const std::string cut = shownText(text.substr(0, SHOWN_TEXT_LEN));
    return "\"" + cut + (text.size() > SHOWN_TEXT_LEN ? "...\"" : "\"");
}

}  // namespace

bool meansDefaultListenPort(const std::string& listen_port) { return listen_port == "0"; }

int portNamedBy(const std::string& text) {
    constexpr long HIGHEST_PORT = 65535;
    const auto is = [&text](std::size_t at, int (*kind)(int)) {
        return at < text.size() && kind(static_cast<unsigned char>(text[at])) != 0;
    };
    std::size_t at = 0;
    while (is(at, std::isspace)) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (!is(at, std::isdigit)) return -1;
    // Stops counting past the highest port, so no length of digits overflows.
    long value = 0;
    for (; is(at, std::isdigit) && value <= HIGHEST_PORT; ++at)
        value = value * 10 + (text[at] - '0');
    if (negative || value < 1 || value > HIGHEST_PORT) return -1;
    return static_cast<int>(value);
}

std::uint16_t portFromText(const std::string& text) {
    return static_cast<std::uint16_t>(portNamedBy(text));
}

std::string argumentError(const std::string& dest_port, const std::string& reply_ip,
                          const std::string& listen_port) {
    if (portNamedBy(dest_port) < 0) {
        return "Invalid destination port " + quoted(dest_port) +
               ": a port is a number from 1 to 65535.";
    }
    if (!meansDefaultListenPort(listen_port) && portNamedBy(listen_port) < 0) {
        return "Invalid listen port " + quoted(listen_port) +
               ": a port is a number from 1 to 65535 (0 for 4555).";
    }
    // The 32-bit build sends the reply address and the listen port whole, each
    // with its NUL in one packet: a text that cannot fit would make every send
    // fail. (The port rule reads only the digits of a listen port.)
    if constexpr (I386_BUILD) {
        for (const auto& [name, text] :
             {std::pair{"reply address", &reply_ip}, std::pair{"listen port", &listen_port}}) {
            if (text->size() <= MAX_WHOLE_TEXT_LEN) continue;
            return std::string("Invalid ") + name + " " + quoted(*text) + ": it is " +
                   std::to_string(text->size()) + " bytes long; it may be at most " +
                   std::to_string(MAX_WHOLE_TEXT_LEN) + " bytes.";
        }
    }
    return {};
}
