// Message_Vector.cpp: the wire rules: payloads, filling a vector's packets,
// slot reading, the quit rule and port conversion.
#include "Message_Vector.h"

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

Slot_Texts vectorTexts(Wire_Rule rule, const std::string& dest_ip, const std::string& dest_port,
                       const std::string& reply_ip, const std::string& listen_port,
                       const std::string& message) {
    if (rule == Wire_Rule::OWN_ADDRESS_WHOLE) return {reply_ip, listen_port, message};
    return {dest_ip, dest_port, message};
}

std::optional<Slot> fillVector(UDPpacket* const* packets, const Slot_Texts& texts, Wire_Rule rule) {
    Slot_Texts payloads;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const std::string& text = texts[slot];
        payloads[slot] =
            rule == Wire_Rule::OWN_ADDRESS_WHOLE ? wholePayload(text) : fixedPayload(text);
        // The packet's own buffer holds the payload, so nothing is ever
        // written past it, whatever a text's length.
        if (payloads[slot].size() > static_cast<std::size_t>(packets[slot]->maxlen)) {
            return static_cast<Slot>(slot);
        }
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        std::memcpy(packets[slot]->data, payloads[slot].data(), payloads[slot].size());
        packets[slot]->len = static_cast<int>(payloads[slot].size());
    }
    return std::nullopt;
}

bool vectorCarriesQuit(UDPpacket* const* packets) {
    return isQuitText(slotText(packets[MSG]->data, packets[MSG]->len));
}
