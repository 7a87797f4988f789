// libFuzzer target for the receive path: arbitrary bytes become a run of
// polls, each filling up to three slots with datagrams of up to 600 bytes cut
// to the 512-byte receive buffer. Slots keep their last datagram from one
// poll to the next, as the receive vector does. Every slot is read, judged by
// the quit rule and formatted for display with the program's own code; what
// is shown must drive nothing, hide or reorder nothing, and read back to
// exactly the slot's text.
//
// Input layout, repeated: one byte (datagrams in this poll: 1 + b % 3), then
// per datagram two bytes of length (% 600) and that many bytes of payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "Display_Text.h"
#include "Message_Vector.h"

namespace {

constexpr int SLOTS = 3;
constexpr std::size_t LONGEST_DATAGRAM = 600;
const char* const LABELS[SLOTS] = {"\t  IP: ", "\tPORT: ", "\t MSG: "};

struct Received_Slot {
    std::unique_ptr<std::uint8_t[]> bytes;  // exactly the bytes kept, so ASan sees overreads
    int len = 0;
};

void require(bool condition) {
    if (!condition) std::abort();
}

// The quit rule stated independently: exactly "quit", ended by a NUL or by
// the end of the bytes received.
bool expectQuit(const Received_Slot& slot) {
    return slot.len >= 4 && std::memcmp(slot.bytes.get(), "quit", 4) == 0 &&
           (slot.len == 4 || slot.bytes[4] == 0);
}

// An independent strict UTF-8 reader: the code point at line[at] and its
// length, or a length of 0 for a byte that starts no well-formed sequence.
std::pair<char32_t, std::size_t> decode(const std::string& line, std::size_t at) {
    const auto byte = [&line](std::size_t i) { return static_cast<unsigned char>(line[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80       ? 1
                               : lead >> 5 == 6  ? 2
                               : lead >> 4 == 14 ? 3
                               : lead >> 3 == 30 ? 4
                                                 : 0;
    if (length == 0 || at + length > line.size()) return {0, 0};
    char32_t code_point = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (byte(at + i) >> 6 != 2) return {0, 0};
        code_point = code_point << 6 | (byte(at + i) & 0x3Fu);
    }
    const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < shortest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
        return {0, 0};
    }
    return {code_point, length};
}

// The bidirectional controls and invisible characters that must never be
// shown raw.
bool hidesOrReorders(char32_t c) {
    return c == 0x061C || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

// The text a shown line stands for: every \xhh one byte, anything else
// itself; a lone backslash would make it ambiguous.
std::string readBack(const std::string& shown) {
    std::string bytes;
    for (std::size_t at = 0; at < shown.size(); ++at) {
        if (shown[at] != '\\') {
            bytes += shown[at];
            continue;
        }
        require(at + 4 <= shown.size() && shown[at + 1] == 'x');
        bytes += static_cast<char>(std::stoi(shown.substr(at + 2, 2), nullptr, 16));
        at += 3;
    }
    return bytes;
}

// A shown line is its label, then, for a UTF-8 terminal, valid UTF-8 without
// any C0, DEL or C1 control or character that hides or reorders text, and
// for an 8-bit one no byte of those controls (so nothing received can drive
// the terminal), and a newline; either reads back to the slot's text.
void checkShown(const Received_Slot& slot, int index) {
    const std::size_t label_len = std::strlen(LABELS[index]);
    const std::string text = slotText(slot.bytes.get(), slot.len);
    const std::string line = slotLine(LABELS[index], slot.bytes.get(), slot.len, Charset::UTF8);
    require(line.compare(0, label_len, LABELS[index]) == 0 && line.back() == '\n');
    for (std::size_t at = label_len; at + 1 < line.size();) {
        const auto [code_point, length] = decode(line, at);
        require(length > 0 && code_point >= 0x20 && !(code_point >= 0x7F && code_point <= 0x9F) &&
                !hidesOrReorders(code_point));
        at += length;
    }
    require(readBack(line.substr(label_len, line.size() - label_len - 1)) == text);
    const std::string bytes =
        slotLine(LABELS[index], slot.bytes.get(), slot.len, Charset::EIGHT_BIT);
    require(bytes.compare(0, label_len, LABELS[index]) == 0 && bytes.back() == '\n');
    for (std::size_t at = label_len; at + 1 < bytes.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        require(byte >= 0x20 && !(byte >= 0x7F && byte <= 0x9F));
    }
    require(readBack(bytes.substr(label_len, bytes.size() - label_len - 1)) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Received_Slot slots[SLOTS];
    std::size_t at = 0;
    while (at < size) {
        const int datagrams = 1 + data[at++] % SLOTS;
        for (int i = 0; i < datagrams && at + 2 <= size; ++i) {
            std::size_t len = (data[at] << 8 | data[at + 1]) % LONGEST_DATAGRAM;
            at += 2;
            len = std::min(len, size - at);
            const std::size_t kept = std::min<std::size_t>(len, PACKET_BUFFER_LEN);
            slots[i].bytes.reset(new std::uint8_t[kept]);
            if (kept > 0) std::memcpy(slots[i].bytes.get(), data + at, kept);
            slots[i].len = static_cast<int>(kept);
            at += len;
        }
        for (int i = 0; i < SLOTS; ++i) checkShown(slots[i], i);
        const Received_Slot& msg = slots[MSG];
        require(isQuitText(slotText(msg.bytes.get(), msg.len)) == expectQuit(msg));
    }
    return 0;
}
