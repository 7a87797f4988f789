// Unit tests of how received text is shown: escaping for both kinds of
// terminal, and read back to exactly the bytes received.
#include "Display_Text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Reads a shown text back: each \xhh is one byte, anything else stands for
// itself; a backslash that starts no escape cannot be read back.
bool readBack(const std::string& shown, std::string& bytes) {
    bytes.clear();
    for (std::size_t at = 0; at < shown.size(); ++at) {
        if (shown[at] != '\\') {
            bytes += shown[at];
            continue;
        }
        if (shown.compare(at, 2, "\\x") != 0 || at + 4 > shown.size()) return false;
        const std::string hex = shown.substr(at + 2, 2);
        if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
        bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
        at += 3;
    }
    return true;
}

}  // namespace

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
    // Right-to-left override, an isolate, zero width space, a byte order mark
    // and a tag: they reorder or hide what follows.
    EXPECT_EQ(escapeForDisplay("a\xe2\x80\xae"
                               "b\xe2\x81\xa6\xe2\x80\x8b\xef\xbb\xbf\xf3\xa0\x80\x81"),
              "a\\xe2\\x80\\xaeb\\xe2\\x81\\xa6\\xe2\\x80\\x8b\\xef\\xbb\\xbf\\xf3\\xa0\\x80\\x81");
    EXPECT_EQ(escapeForDisplay("\\x1b"), "\\x5cx1b");  // not to be read as ESC
    for (int byte = 0; byte < 256; ++byte) {
        const std::string shown = escapeForDisplay(std::string(1, static_cast<char>(byte)));
        const bool printable_ascii = byte >= 0x20 && byte <= 0x7E && byte != '\\';
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
        const bool character = (byte >= 0x20 && byte <= 0x7E && byte != '\\') || byte >= 0xA0;
        EXPECT_EQ(shown.size(), character ? 1u : 4u) << "byte " << byte;
    }
}

TEST(EscapeForDisplay, EveryShownTextReadsBackToExactlyTheBytesReceived) {
    std::mt19937 random(4556);
    // Bytes that make escapes look alike, and pieces of UTF-8 characters.
    const std::string pieces[] = {"\\",           "x",        "5c",           "1b",       "\x1b",
                                  "\xe2\x80\xae", "\xc3\xa9", "\xf3\xa0\x80", "\xc2\x9b", "a"};
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int i = random() % 12; i > 0; --i) {
            if (random() % 2 != 0) {
                text += pieces[random() % std::size(pieces)];
            } else {
                text += static_cast<char>(random() % 256);
            }
        }
        for (const Charset charset : {Charset::UTF8, Charset::EIGHT_BIT}) {
            std::string bytes;
            ASSERT_TRUE(readBack(escapeForDisplay(text, charset), bytes)) << text;
            ASSERT_EQ(bytes, text);
        }
    }
}
