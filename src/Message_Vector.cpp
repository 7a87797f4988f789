// Message_Vector.cpp: payload building, slot reading, the quit rule, port
// conversion and display escaping for message vectors.
#include "Message_Vector.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

std::string fixedPayload(const std::string& text) {
    std::string payload = text.substr(0, FIXED_PAYLOAD_LEN);
    payload.resize(FIXED_PAYLOAD_LEN, '\0');
    return payload;
}

std::string wholePayload(const std::string& text) { return text + '\0'; }

std::string slotText(const std::uint8_t* data, int len) {
    if (data == nullptr || len <= 0) return {};
    const auto* begin = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(len));
    const auto end = nul ? static_cast<const char*>(nul) : begin + len;
    return std::string(begin, end);
}

bool isQuitText(const std::string& text) { return text == "quit"; }

std::uint16_t portFromText(const std::string& text) {
    // strtoll parses exactly what atoi parses; clamping to int keeps every
    // text that fits an int at atoi's value and saturates the rest.
    const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
    const long long clamped = std::clamp<long long>(parsed, INT_MIN, INT_MAX);
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(clamped) & 0xFFFFu);
}

std::string escapeForDisplay(const std::string& text) {
    static const char HEX[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += HEX[byte >> 4];
            shown += HEX[byte & 0x0F];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string slotLine(const char* label, const std::uint8_t* data, int len) {
    return label + escapeForDisplay(slotText(data, len)) + '\n';
}
