// Word_Reader.cpp: reading words and dropping the rest of a line through a
// buffer of its own.
#include "Word_Reader.h"

#include <cctype>

int Word_Reader::peek_byte() {
    if (begin == end && !ended) {
        const ssize_t count = read_more(buffer, sizeof buffer);
        begin = 0;
        end = count > 0 ? static_cast<std::size_t>(count) : 0;
        ended = count <= 0;
    }
    return begin < end ? static_cast<unsigned char>(buffer[begin]) : -1;
}

int Word_Reader::next_byte() {
    const int byte = peek_byte();
    if (byte >= 0) ++begin;
    return byte;
}

bool Word_Reader::read_word(std::string& word) {
    while (peek_byte() >= 0 && std::isspace(peek_byte())) next_byte();
    if (peek_byte() < 0) return false;
    word.clear();
    while (peek_byte() >= 0 && !std::isspace(peek_byte())) {
        const char byte = static_cast<char>(next_byte());
        if (word.size() < MAX_WORD_LEN) word += byte;
    }
    return true;
}

void Word_Reader::drop_rest_of_line() {
    for (int byte = next_byte(); byte >= 0 && byte != '\n'; byte = next_byte()) {
    }
}

void Word_Reader::forget_end_of_input() { ended = false; }
