// Unit tests of the wire rules: payloads, slot reading and the quit rule
// (the send fuzzer holds the filling of a vector's packets by property).
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
