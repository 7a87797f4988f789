// Unit tests of the word reader: the same words as `std::istringstream >>`
// gives in the C locale, cut to the longest word kept, however the input is
// cut into reads, with the rest of a line dropped where asked, and the end of
// the input kept until forgotten.
#include "Word_Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// What the fake read hands out, one read a chunk; an empty chunk is an end of
// the input, a chunk "\xff-1" a failed read.
std::vector<std::string> chunks;
std::size_t next_chunk = 0;

ssize_t fakeRead(void* data, std::size_t size) {
    if (next_chunk == chunks.size()) return 0;
    std::string& chunk = chunks[next_chunk];
    if (chunk == "\xff-1") {
        ++next_chunk;
        return -1;
    }
    const std::size_t count = std::min(size, chunk.size());
    std::memcpy(data, chunk.data(), count);
    chunk.erase(0, count);
    if (chunk.empty() || count == 0) ++next_chunk;
    return static_cast<ssize_t>(count);
}

void feed(std::vector<std::string> reads) {
    chunks = std::move(reads);
    next_chunk = 0;
}

}  // namespace

TEST(WordReader, ReadsAsTheStandardStreamDoesHoweverTheReadsAreCut) {
    std::mt19937 random(4555);
    const std::string alphabet = std::string(" \t\n\v\f\r") + "ab\0\x7f\xe9\xff"s;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int i = random() % 60; i > 0; --i) {
            text += alphabet[random() % alphabet.size()];
            // Now and then a word about as long as the longest kept.
            if (random() % 500 == 0) text.append(Word_Reader::MAX_WORD_LEN - 3 + random() % 6, 'w');
        }
        std::vector<std::string> reads;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t len = 1 + random() % (text.size() > 1000 ? 700 : 7);
            reads.push_back(text.substr(at, len));
            at += len;
        }
        feed(reads);
        Word_Reader reader(fakeRead);
        std::istringstream expected(text);
        for (int step = 0; step < 40; ++step) {
            if (random() % 4 == 0) {
                reader.drop_rest_of_line();
                expected.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
                continue;
            }
            std::string word = "kept", expected_word = "kept";
            const bool read = reader.read_word(word);
            ASSERT_EQ(read, static_cast<bool>(expected >> expected_word)) << text;
            ASSERT_EQ(word, expected_word.substr(0, Word_Reader::MAX_WORD_LEN)) << text;
        }
    }
}

TEST(WordReader, EndOfInputHoldsUntilForgottenAndAFailedReadIsAnEnd) {
    feed({"send hel", "lo", "", "more\n", "\xff-1", "after\n"});
    Word_Reader reader(fakeRead);
    std::string word;
    ASSERT_TRUE(reader.read_word(word));
    EXPECT_EQ(word, "send");
    ASSERT_TRUE(reader.read_word(word));  // a word across two reads, ended by the end
    EXPECT_EQ(word, "hello");
    EXPECT_FALSE(reader.read_word(word));
    EXPECT_FALSE(reader.read_word(word));  // still ended: no read is made
    EXPECT_EQ(next_chunk, 3u);
    reader.forget_end_of_input();
    ASSERT_TRUE(reader.read_word(word));
    EXPECT_EQ(word, "more");
    reader.drop_rest_of_line();
    EXPECT_FALSE(reader.read_word(word));  // the failed read
    EXPECT_EQ(word, "more");
    reader.forget_end_of_input();
    ASSERT_TRUE(reader.read_word(word));
    EXPECT_EQ(word, "after");
}
