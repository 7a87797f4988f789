// Display_Text.h: how text from outside is shown, so that nothing a peer
// sends, nor an argument shown back, can drive the terminal or pass for
// something it is not.
#pragma once

#include <cstdint>
#include <string>

// How the terminal reads the bytes it is sent: as UTF-8, or one byte a
// character, where the bytes 0x80 to 0x9F are the C1 controls.
enum class Charset { UTF8, EIGHT_BIT };

// The character set of the locale's LC_CTYPE (from LC_ALL, LC_CTYPE or LANG),
// looked up once; EIGHT_BIT for any set but UTF-8 and for a locale that
// cannot be loaded. Nothing else of the locale is taken.
Charset localeCharset();

// Text from outside made safe for a terminal. Printable ASCII but the
// backslash is kept; so are, in UTF-8, well-formed characters other than the
// C1 controls (U+0080 to U+009F) and the invisible format characters and
// separators that reorder or hide text (U+061C, U+200B to U+200F, U+2028 to
// U+202E, U+2060 to U+206F, U+FEFF, the tags and the rest of Unicode's
// format characters), and, one byte a character, the bytes 0xA0 to 0xFF.
// Every other byte becomes the four characters \xhh, so each escape stands
// for one byte of the text, and the text can be read back exactly.
std::string escapeForDisplay(const std::string& text, Charset charset);

// An argument as the program shows it: escaped for the locale's charset.
std::string shownText(const std::string& text);

// One line of a received vector as shown: the label, the slot's text made
// safe for a terminal, and a newline.
std::string slotLine(const char* label, const std::uint8_t* data, int len, Charset charset);
