// libFuzzer target for the send path: arbitrary bytes become a wire rule and
// the three texts of a vector's slots, which the program's own code copies
// into packets whose buffers are exactly as large as the sending service's
// (ASan sees every byte written past one). Every payload, and every refusal,
// is checked against the wire rule stated here independently, and the
// sender's quit judgement against the quit rule on the very bytes sent.
//
// Input layout: one byte (bit 0: the 32-bit rule), then three texts (the IP,
// PORT and MSG slots), each two bytes of length (% 1200) and that many bytes;
// a text cut short by the input's end is empty.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "Message_Vector.h"

namespace {

constexpr std::size_t LONGEST_TEXT = 1200;
constexpr int UNTOUCHED = -7;

void require(bool condition) {
    if (!condition) std::abort();
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    std::string text() {
        if (at + 2 > size) return {};
        std::size_t len = (data[at] << 8 | data[at + 1]) % LONGEST_TEXT;
        at += 2;
        len = std::min(len, size - at);
        const std::string text(reinterpret_cast<const char*>(data + at), len);
        at += len;
        return text;
    }
};

// Packets as SDLNet_AllocPacketV makes them: buffers of `maxlen` bytes.
struct Send_Vector {
    explicit Send_Vector(int maxlen) {
        for (int i = 0; i < SLOT_COUNT; ++i) {
            buffers[i].reset(new std::uint8_t[maxlen]);
            packets[i].data = buffers[i].get();
            packets[i].maxlen = maxlen;
            packets[i].len = UNTOUCHED;
            pointers[i] = &packets[i];
        }
    }
    std::string sent(int slot) const {
        return std::string(reinterpret_cast<const char*>(packets[slot].data),
                           static_cast<std::size_t>(packets[slot].len));
    }
    std::unique_ptr<std::uint8_t[]> buffers[SLOT_COUNT];
    UDPpacket packets[SLOT_COUNT]{};
    UDPpacket* pointers[SLOT_COUNT + 1]{};
};

// The wire rule, stated independently: 9 bytes, cut or padded with NULs; or
// the whole text and one NUL.
std::string expectedPayload(bool whole, const std::string& text) {
    if (whole) return text + '\0';
    std::string payload(9, '\0');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 9), payload.begin());
    return payload;
}

// The quit rule, stated independently: a receiver keeps at most 512 bytes of
// a datagram, and stops on exactly "quit", ended by a NUL or by the end of
// the bytes kept.
bool endsThePeer(const std::string& datagram) {
    const std::string kept = datagram.substr(0, 512);
    return kept.compare(0, 4, "quit") == 0 && (kept.size() == 4 || kept[4] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Input input{data, size, 1};
    const bool whole = (data[0] & 1) != 0;
    const Wire_Rule rule =
        whole ? Wire_Rule::OWN_ADDRESS_WHOLE : Wire_Rule::DESTINATION_IN_NINE_BYTES;
    const Slot_Texts texts{input.text(), input.text(), input.text()};
    const int buffer_len = sendBufferLen(rule);
    Send_Vector vector(buffer_len);

    const std::optional<Slot> refused = fillVector(vector.pointers, texts, rule);
    std::optional<Slot> too_long;
    for (int slot = 0; slot < SLOT_COUNT && !too_long; ++slot) {
        const std::size_t payload_len = whole ? texts[slot].size() + 1 : 9;
        if (payload_len > static_cast<std::size_t>(buffer_len)) too_long = static_cast<Slot>(slot);
    }
    require(refused == too_long);
    if (refused) {
        for (const UDPpacket& packet : vector.packets) require(packet.len == UNTOUCHED);
        return 0;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        require(vector.sent(slot) == expectedPayload(whole, texts[slot]));
    }
    require(vectorCarriesQuit(vector.pointers) == endsThePeer(vector.sent(MSG)));
    return 0;
}
