// Unit tests of how received text is shown: escaping for both kinds of
// terminal.
#include "Display_Text.h"

#include <gtest/gtest.h>

#include <string>

TEST(EscapeForDisplay, KeepsPrintableUtf8AndEscapesEveryOtherByte) {
    const auto escapeForDisplay = [](const std::string& text) {
        return ::escapeForDisplay(text, Charset::UTF8);
    };
    EXPECT_EQ(escapeForDisplay("hello, world!"), "hello, world!");
    EXPECT_EQ(escapeForDisplay("\x1b[2J"), "\\x1b[2J");
    EXPECT_EQ(escapeForDisplay("a\tb\r\n"), "a\\x09b\\x0d\\x0a");
    EXPECT_EQ(escapeForDisplay("\x7f\x01\x1f "), "\\x7f\\x01\\x1f ");
    // C1 controls raw and encoded, a stray 0xFF, and a character kept whole.
    EXPECT_EQ(escapeForDisplay("A\xc2\x9b"
                               "B\x9b"
                               "C\xff\xe2\x80\x94"),
              "A\\xc2\\x9bB\\x9bC\\xff\xe2\x80\x94");
    EXPECT_EQ(escapeForDisplay("caf\xc3\xa9 \xc2\xa0 \xf0\x9f\x98\x80"),
              "caf\xc3\xa9 \xc2\xa0 \xf0\x9f\x98\x80");              // U+00A0 is the first kept
    EXPECT_EQ(escapeForDisplay("\xc0\xaf"), "\\xc0\\xaf");           // overlong
    EXPECT_EQ(escapeForDisplay("\xe0\x80\xaf"), "\\xe0\\x80\\xaf");  // overlong
    EXPECT_EQ(escapeForDisplay("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // surrogate
    EXPECT_EQ(escapeForDisplay("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");  // > U+10FFFF
    EXPECT_EQ(escapeForDisplay("ok\xe2\x80"), "ok\\xe2\\x80");                // cut short
    for (int byte = 0; byte < 256; ++byte) {
        const std::string shown = escapeForDisplay(std::string(1, static_cast<char>(byte)));
        const bool printable_ascii = byte >= 0x20 && byte <= 0x7E;
        EXPECT_EQ(shown.size(), printable_ascii ? 1u : 4u) << "byte " << byte;
    }
}

TEST(EscapeForDisplay, OneByteACharacterEscapesTheC1Bytes) {
    // An 8-bit terminal obeys 0x9B as CSI and 0x9D as OSC, whatever UTF-8
    // character they end: "\xc3\x9b" is U+00DB in UTF-8.
    EXPECT_EQ(escapeForDisplay("\xc3\x9b"
                               "41m\xc3\x9d"
                               "0;x\x07\xc3\xa9",
                               Charset::EIGHT_BIT),
              "\xc3\\x9b41m\xc3\\x9d0;x\\x07\xc3\xa9");
    for (int byte = 0; byte < 256; ++byte) {
        const std::string shown =
            escapeForDisplay(std::string(1, static_cast<char>(byte)), Charset::EIGHT_BIT);
        const bool character = (byte >= 0x20 && byte <= 0x7E) || byte >= 0xA0;
        EXPECT_EQ(shown.size(), character ? 1u : 4u) << "byte " << byte;
    }
}
