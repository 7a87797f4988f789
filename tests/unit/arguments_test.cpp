// Unit tests of the command-line checks: the port rule and the messages that
// refuse a text.
#include "Arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Message_Vector.h"

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
