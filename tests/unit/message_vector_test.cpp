// Unit tests for the pure message-vector rules: payloads, slot reading, the
// quit rule, the port rule and display escaping.
#include "Message_Vector.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Arguments.h"

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

namespace {
// Three packets with buffers of `maxlen` bytes and a guard after each, which
// no fill may touch.
struct Test_Vector {
    static constexpr int GUARD = 64;
    explicit Test_Vector(int maxlen) {
        for (int i = 0; i < SLOT_COUNT; ++i) {
            buffers[i].assign(static_cast<std::size_t>(maxlen + GUARD), 0xA5);
            packets[i].data = buffers[i].data();
            packets[i].maxlen = maxlen;
            packets[i].len = -7;
            pointers[i] = &packets[i];
        }
    }
    std::string bytes(int slot) const {
        return std::string(buffers[slot].begin(), buffers[slot].begin() + packets[slot].len);
    }
    bool guards_intact() const {
        for (int i = 0; i < SLOT_COUNT; ++i) {
            for (auto at = buffers[i].end() - GUARD; at != buffers[i].end(); ++at) {
                if (*at != 0xA5) return false;
            }
        }
        return true;
    }
    std::vector<std::uint8_t> buffers[SLOT_COUNT];
    UDPpacket packets[SLOT_COUNT]{};
    UDPpacket* pointers[SLOT_COUNT + 1]{};
};
}  // namespace

TEST(FillVector, EachRuleFillsItsPacketsOrRefusesAndNeverWritesPastOne) {
    for (const auto& [rule, maxlen] : {std::pair{Wire_Rule::DESTINATION_IN_NINE_BYTES, 1024},
                                       std::pair{Wire_Rule::OWN_ADDRESS_WHOLE, 512}}) {
        for (const int slot : {IP, PORT, MSG}) {
            for (const std::size_t length : {0u, 8u, 9u, 510u, 511u, 512u, 700u, 5000u}) {
                Test_Vector vector(maxlen);
                std::string args[5] = {"dest", "4556", "reply", "4555", "hi"};
                // The text under test stands where this rule puts it in `slot`.
                const int arg =
                    slot == MSG ? 4 : (rule == Wire_Rule::OWN_ADDRESS_WHOLE ? 2 : 0) + slot;
                args[arg] = std::string(length, 'q');
                const Slot_Texts texts =
                    vectorTexts(rule, args[0], args[1], args[2], args[3], args[4]);
                ASSERT_EQ(texts[slot], args[arg]);
                const std::optional<Slot> refused = fillVector(vector.pointers, texts, rule);
                EXPECT_TRUE(vector.guards_intact());
                const bool whole = rule == Wire_Rule::OWN_ADDRESS_WHOLE;
                if (whole && length > MAX_WHOLE_TEXT_LEN) {
                    EXPECT_EQ(refused, std::optional<Slot>(static_cast<Slot>(slot)));
                    for (const UDPpacket& packet : vector.packets) EXPECT_EQ(packet.len, -7);
                    continue;
                }
                ASSERT_EQ(refused, std::nullopt) << length;
                for (int i = 0; i < SLOT_COUNT; ++i) {
                    EXPECT_EQ(vector.bytes(i),
                              whole ? wholePayload(texts[i]) : fixedPayload(texts[i]));
                }
            }
        }
    }
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
    for (const auto& [message, quits] : {std::pair{"quit"s, true}, std::pair{"quit\0x"s, true},
                                         std::pair{"quitquit"s, false}, std::pair{"qui"s, false}}) {
        for (const auto& [rule, maxlen] : {std::pair{Wire_Rule::DESTINATION_IN_NINE_BYTES, 1024},
                                           std::pair{Wire_Rule::OWN_ADDRESS_WHOLE, 512}}) {
            Test_Vector vector(maxlen);
            fillVector(vector.pointers, vectorTexts(rule, "d", "1", "r", "2", message), rule);
            EXPECT_EQ(vectorCarriesQuit(vector.pointers), quits) << message;
        }
    }
    EXPECT_TRUE(isQuitText(slotOf(fixedPayload("quit"))));
    EXPECT_TRUE(isQuitText(slotOf(wholePayload("quit"))));
    EXPECT_FALSE(isQuitText(slotOf(fixedPayload("quitquit"))));
    EXPECT_FALSE(isQuitText(slotOf(fixedPayload("quitting"))));
    EXPECT_FALSE(isQuitText("Quit"));
    EXPECT_FALSE(isQuitText("qui"));
    EXPECT_FALSE(isQuitText("quit "));
}

TEST(PortRule, TakesWhatAtoiReadsAsAPortFrom1To65535) {
    // Leading blanks, a sign, leading zeros and text after the digits are
    // read as atoi reads them.
    for (const auto& [text, port] : std::vector<std::pair<std::string, int>>{{"1", 1},
                                                                             {"4555", 4555},
                                                                             {"04555", 4555},
                                                                             {"000001", 1},
                                                                             {"65535", 65535},
                                                                             {"+42", 42},
                                                                             {" 42", 42},
                                                                             {"\t42 ", 42},
                                                                             {"4555x", 4555}}) {
        EXPECT_EQ(portNamedBy(text), port) << text;
    }
    // No digits, or a value atoi would turn into port 0 or another port.
    for (const char* bad : {"", " ", "+", "abc", "0", "00", "-0", "0x1F", "-1", "- 1", "65536",
                            "70000", "99999999999999999999999"}) {
        EXPECT_EQ(portNamedBy(bad), -1) << bad;
    }
    EXPECT_EQ(portFromText("04555"), 4555);
    EXPECT_EQ(portFromText("65535"), 65535);

    EXPECT_EQ(argumentError("4556", "127.0.0.1", "0"), "");  // 0 is the 4555 default
    EXPECT_EQ(argumentError("0", "127.0.0.1", "4555"),
              "Invalid destination port \"0\": a port is a number from 1 to 65535.");
    EXPECT_EQ(argumentError("4556", "127.0.0.1", "abc"),
              "Invalid listen port \"abc\": a port is a number from 1 to 65535 (0 for 4555).");
    // Long texts are cut, control bytes escaped.
    EXPECT_EQ(argumentError(std::string(100, '9'), "", "1"),
              "Invalid destination port \"" + std::string(40, '9') +
                  "...\": a port is a number from 1 to 65535.");
    EXPECT_EQ(argumentError("\x1b[2J", "", "1").substr(0, 34),
              "Invalid destination port \"\\x1b[2J\"");
}

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
