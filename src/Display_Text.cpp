// Display_Text.cpp: the locale's character set, and escaping every byte a
// terminal would obey rather than show.
#include "Display_Text.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "Message_Vector.h"

namespace {

bool isPrintableAscii(unsigned char byte) { return byte >= 0x20 && byte <= 0x7E && byte != '\\'; }

// Characters a terminal shows as nothing, or obeys by reordering or hiding
// what follows: Unicode's format characters (the bidirectional controls
// among them, and the tags) and the line and paragraph separators.
constexpr char32_t INVISIBLE[][2] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x206F},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE007F}};

bool isInvisible(char32_t code_point) {
    for (const auto& [first, last] : INVISIBLE) {
        if (code_point >= first && code_point <= last) return true;
    }
    return false;
}

// The length of the well-formed UTF-8 sequence at text[at] (shortest form, no
// surrogate, at most U+10FFFF) whose code point a terminal shows as a
// character rather than obeys as a control; 0 when there is none.
std::size_t printableUtf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (isPrintableAscii(lead)) return 1;

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
    if (overlong || surrogate || c1_control || code_point > 0x10FFFF || isInvisible(code_point)) {
        return 0;
    }
    return length;
}

// One byte a character: an 8-bit terminal obeys 0x80 to 0x9F as C1 controls
// (0x9B opens a control sequence, 0x9D a title), and shows 0xA0 to 0xFF.
std::size_t printableByteLength(const std::string& text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    return isPrintableAscii(byte) || byte >= 0xA0 ? 1 : 0;
}

// A locale object of its own, so that the program's locale, and with it
// every number it prints, stays "C".
Charset lookUpLocaleCharset() {
    const locale_t ctype = newlocale(LC_CTYPE_MASK, "", nullptr);
    if (ctype == nullptr) return Charset::EIGHT_BIT;
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, ctype), "UTF-8") == 0;
    freelocale(ctype);
    return utf8 ? Charset::UTF8 : Charset::EIGHT_BIT;
}

// Looked up once, before the program runs.
const Charset locale_charset = lookUpLocaleCharset();

}  // namespace

Charset localeCharset() { return locale_charset; }

std::string shownText(const std::string& text) { return escapeForDisplay(text, locale_charset); }

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
