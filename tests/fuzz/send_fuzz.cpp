// libFuzzer target for the send path: arbitrary bytes become a wire rule,
// the four argument texts and a message, which the program's own code turns
// into a vector of three packets whose buffers are exactly as large as the
// sending service's (ASan sees every byte written past one). Every payload is
// checked against the wire rule stated here independently, and the sender's
// quit judgement against the receiver's on the very bytes sent.
//
// Input layout: one byte (bit 0: the 32-bit rule), then five texts (dest_ip,
// dest_port, reply_ip, listen_port, message), each two bytes of length
// (% 1200) and that many bytes; a text cut short by the input's end is empty.
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

// What a receiver of either build concludes from one datagram: it lands in a
// 512-byte buffer, cut to it, and is read by the receiving service's rule.
bool receiverSeesQuit(const std::string& datagram) {
    const std::size_t kept = std::min<std::size_t>(datagram.size(), PACKET_BUFFER_LEN);
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[PACKET_BUFFER_LEN]);
    std::memcpy(buffer.get(), datagram.data(), kept);
    return isQuitText(slotText(buffer.get(), static_cast<int>(kept)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Input input{data, size, 1};
    const bool whole = (data[0] & 1) != 0;
    const Wire_Rule rule =
        whole ? Wire_Rule::OWN_ADDRESS_WHOLE : Wire_Rule::DESTINATION_IN_NINE_BYTES;
    const std::string dest_ip = input.text(), dest_port = input.text(), reply_ip = input.text(),
                      listen_port = input.text(), message = input.text();
    // The sending service's buffers: 512 bytes that hold the whole texts, or
    // 1024 for the 9-byte payloads.
    Send_Vector vector(whole ? PACKET_BUFFER_LEN : 1024);

    const Slot_Texts texts = vectorTexts(rule, dest_ip, dest_port, reply_ip, listen_port, message);
    const Slot_Texts carried = whole ? Slot_Texts{reply_ip, listen_port, message}
                                     : Slot_Texts{dest_ip, dest_port, message};
    require(texts == carried);

    const std::optional<Slot> refused = fillVector(vector.pointers, texts, rule);
    std::optional<Slot> too_long;
    for (int slot = 0; slot < SLOT_COUNT && !too_long; ++slot) {
        if (whole && carried[slot].size() > MAX_WHOLE_TEXT_LEN) too_long = static_cast<Slot>(slot);
    }
    require(refused == too_long);
    if (refused) {
        for (const UDPpacket& packet : vector.packets) require(packet.len == UNTOUCHED);
        return 0;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        require(vector.sent(slot) == expectedPayload(whole, carried[slot]));
    }
    require(vectorCarriesQuit(vector.pointers) == receiverSeesQuit(vector.sent(MSG)));
    return 0;
}
