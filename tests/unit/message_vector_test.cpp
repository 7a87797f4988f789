// Unit tests of the wire rules: payloads, filling a vector's packets, slot
// reading and the quit rule.
#include "Message_Vector.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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
