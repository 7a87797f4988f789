// Unit tests for the pure message-vector rules: payloads, slot reading, the
// quit rule, port conversion and display escaping.
#include "Message_Vector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {
std::string slotOf(const std::string& bytes) {
    return slotText(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                    static_cast<int>(bytes.size()));
}
}  // namespace

TEST(FixedPayload, IsNineBytesForEveryLengthClass) {
    EXPECT_EQ(fixedPayload(""), std::string(9, '\0'));
    EXPECT_EQ(fixedPayload("quit"), "quit\0\0\0\0\0"s);       // NUL, then filler
    EXPECT_EQ(fixedPayload("quitquit"), "quitquit\0"s);       // 8: text and NUL
    EXPECT_EQ(fixedPayload("127.0.0.1"), "127.0.0.1");        // 9: no NUL
    EXPECT_EQ(fixedPayload("192.168.100.200"), "192.168.1");  // cut to 9
    for (std::size_t n = 0; n < 40; ++n) EXPECT_EQ(fixedPayload(std::string(n, 'a')).size(), 9u);
}

TEST(WholePayload, IsTheTextAndOneNul) {
    EXPECT_EQ(wholePayload(""), "\0"s);
    EXPECT_EQ(wholePayload("quit"), "quit\0"s);
    EXPECT_EQ(wholePayload(std::string(511, 'x')).size(), 512u);
}

TEST(SlotText, StopsAtFirstNulOrReceivedLength) {
    EXPECT_EQ(slotOf("quit\0\0\0\0\0"s), "quit");
    EXPECT_EQ(slotOf("127.0.0.1"), "127.0.0.1");  // no NUL: bounded by length
    EXPECT_EQ(slotOf("ab\0cd"s), "ab");
    EXPECT_EQ(slotOf(""), "");
    EXPECT_EQ(slotOf("\0abc"s), "");
    // Bytes past the received length are never read, even without a NUL.
    const std::vector<std::uint8_t> buffer = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(slotText(buffer.data(), 3), "hel");
    EXPECT_EQ(slotText(buffer.data(), -1), "");
    EXPECT_EQ(slotText(nullptr, 5), "");
}

TEST(QuitRule, MatchesOnlyTheExactWord) {
    EXPECT_TRUE(isQuitText(slotOf(fixedPayload("quit"))));
    EXPECT_TRUE(isQuitText(slotOf(wholePayload("quit"))));
    EXPECT_FALSE(isQuitText(slotOf(fixedPayload("quitquit"))));
    EXPECT_FALSE(isQuitText(slotOf(fixedPayload("quitting"))));
    EXPECT_FALSE(isQuitText("Quit"));
    EXPECT_FALSE(isQuitText("qui"));
    EXPECT_FALSE(isQuitText("quit "));
}

TEST(PortFromText, AgreesWithAtoiWithinIntRange) {
    const std::vector<std::string> texts = {
        "4555",   "0",          "00",          "65535",     "65536", "65537",      "-1",
        "-65536", "70000",      "  42",        "+17",       "12abc", "abc",        "",
        "\t7",    "2147483647", "-2147483648", "123456789", "0x1F",  "99999999999"};
    for (const auto& text : texts) {
        const long long value = std::strtoll(text.c_str(), nullptr, 10);
        if (value < INT_MIN || value > INT_MAX) continue;  // atoi is undefined there
        EXPECT_EQ(portFromText(text), static_cast<std::uint16_t>(std::atoi(text.c_str())))
            << "text: '" << text << "'";
    }
    EXPECT_EQ(portFromText("-1"), 65535);
    EXPECT_EQ(portFromText("70000"), 70000 - 65536);
}

TEST(PortFromText, SaturatesBeyondIntRange) {
    EXPECT_EQ(portFromText("99999999999"), 0xFFFF);  // INT_MAX's low 16 bits
    EXPECT_EQ(portFromText(std::string(1000, '9')), 0xFFFF);
    EXPECT_EQ(portFromText("-99999999999"), 0);  // INT_MIN's low 16 bits
}

TEST(EscapeForDisplay, EscapesControlBytesOnly) {
    EXPECT_EQ(escapeForDisplay("hello, world!"), "hello, world!");
    EXPECT_EQ(escapeForDisplay("\x1b[2J"), "\\x1b[2J");
    EXPECT_EQ(escapeForDisplay("a\tb\r\n"), "a\\x09b\\x0d\\x0a");
    EXPECT_EQ(escapeForDisplay("\x7f\x01\x1f "), "\\x7f\\x01\\x1f ");
    EXPECT_EQ(escapeForDisplay("caf\xc3\xa9\x9b"), "caf\xc3\xa9\x9b");  // high bytes kept
    for (int byte = 0; byte < 256; ++byte) {
        const std::string shown = escapeForDisplay(std::string(1, static_cast<char>(byte)));
        for (const char c : shown) {
            const auto b = static_cast<unsigned char>(c);
            EXPECT_FALSE(b < 0x20 || b == 0x7F) << "byte " << byte << " leaked raw";
        }
    }
}
