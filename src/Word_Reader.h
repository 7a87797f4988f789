// Word_Reader.h: white-space-separated words read from a read function, as
// `std::cin >> word` reads them in the C locale.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

class Word_Reader {
  public:
    // The longest word kept, as long as a terminal's line may be: a longer
    // word is cut to its first MAX_WORD_LEN bytes, and the rest of it is read
    // and dropped, so no input, however long its words, fills the memory.
    static constexpr std::size_t MAX_WORD_LEN = 4096;

    // Reads up to `size` bytes into `data` as read() does: a count, 0 at the
    // end of the input, -1 on a failure.
    using Read = ssize_t (*)(void* data, std::size_t size);

    constexpr explicit Word_Reader(Read read) : read_more(read) {}

    // Skips white space (blanks, tabs, line ends, vertical tabs, form feeds),
    // then reads the word up to the next white space, which stays unread; a
    // word may span reads, and the end of the input ends it too. False, with
    // `word` as it was, when the input ends or fails before a word begins.
    bool read_word(std::string& word);

    // Reads and drops everything up to and with the next newline, or up to
    // the end of the input.
    void drop_rest_of_line();

    // Once the input has ended, every read ends at once, as a stdio stream
    // does; this forgets it, so the next read asks again (a terminal goes on
    // after Ctrl-D).
    void forget_end_of_input();

  private:
    // The next byte, taken or only looked at; -1 at the end of the input.
    int next_byte();
    int peek_byte();

    Read read_more;
    char buffer[4096]{};
    std::size_t begin = 0;
    std::size_t end = 0;
    bool ended = false;
};
