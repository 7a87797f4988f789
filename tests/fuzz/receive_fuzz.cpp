// libFuzzer target for the receive path: arbitrary bytes become a run of
// polls, each filling up to three slots with datagrams of up to 600 bytes cut
// to the 512-byte receive buffer. Slots keep their last datagram from one
// poll to the next, as the receive vector does. Every slot is read, judged by
// the quit rule and formatted for display with the program's own code.
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

void checkShown(const Received_Slot& slot, int index) {
    const std::string line = slotLine(LABELS[index], slot.bytes.get(), slot.len);
    const std::size_t label_len = std::strlen(LABELS[index]);
    require(line.compare(0, label_len, LABELS[index]) == 0 && line.back() == '\n');
    for (std::size_t i = label_len; i + 1 < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        require(byte >= 0x20 && byte != 0x7F);  // no raw control byte reaches the terminal
    }
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
