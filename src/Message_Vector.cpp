// Message_Vector.cpp: payload building, slot reading, the quit rule, port
// conversion and display escaping for message vectors.
#include "Message_Vector.h"

#include <langinfo.h>
#include <locale.h>

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

std::uint16_t portFromText(const std::string& text) {
    return static_cast<std::uint16_t>(std::atoi(text.c_str()));
}

namespace {

// The length of the well-formed UTF-8 sequence at text[at] (shortest form, no
// surrogate, at most U+10FFFF) whose code point a terminal shows as a
// character rather than obeys as a control; 0 when there is none.
std::size_t printableUtf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead >= 0x20 && lead <= 0x7E) return 1;

    std::size_t length = 0;
    char32_t code_point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code_point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code_point = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code_point = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
        code_point = code_point << 6 | (byte(at + i) & 0x3Fu);
    }

    static constexpr char32_t SHORTEST[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = code_point < SHORTEST[length];
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    const bool c1_control = code_point >= 0x80 && code_point <= 0x9F;
    if (overlong || surrogate || c1_control || code_point > 0x10FFFF) return 0;
    return length;
}

// One byte a character: an 8-bit terminal obeys 0x80 to 0x9F as C1 controls
// (0x9B opens a control sequence, 0x9D a title), and shows 0xA0 to 0xFF.
std::size_t printableByteLength(const std::string& text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    return (byte >= 0x20 && byte <= 0x7E) || byte >= 0xA0 ? 1 : 0;
}

}  // namespace

Charset localeCharset() {
    // A locale object of its own, so that the program's locale, and with it
    // every number it prints, stays "C".
    static const Charset charset = [] {
        const locale_t ctype = newlocale(LC_CTYPE_MASK, "", nullptr);
        if (ctype == nullptr) return Charset::EIGHT_BIT;
        const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, ctype), "UTF-8") == 0;
        freelocale(ctype);
        return utf8 ? Charset::UTF8 : Charset::EIGHT_BIT;
    }();
    return charset;
}

std::string escapeForDisplay(const std::string& text, Charset charset) {
    const auto printableLength =
        charset == Charset::UTF8 ? printableUtf8Length : printableByteLength;
    static const char HEX[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (const std::size_t length = printableLength(text, at)) {
            shown.append(text, at, length);
            at += length;
        } else {
            const auto byte = static_cast<unsigned char>(text[at++]);
            shown += "\\x";
            shown += HEX[byte >> 4];
            shown += HEX[byte & 0x0F];
        }
    }
    return shown;
}

std::string slotLine(const char* label, const std::uint8_t* data, int len, Charset charset) {
    return label + escapeForDisplay(slotText(data, len), charset) + '\n';
}
