// Message_Vector.h: the wire rules: what the three datagrams of a message
// vector carry, how a build fills its packets, and how a receiver reads a
// slot's text and tells "quit".
#pragma once

#include <SDL_net.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Build_Variant.h"

// Slot positions within a message vector, in the order they go on the wire.
enum Slot { IP = 0, PORT = 1, MSG = 2 };
constexpr int SLOT_COUNT = 3;

// Every datagram of the x86-64 wire carries exactly this many bytes.
constexpr int FIXED_PAYLOAD_LEN = 9;

// The receive buffer of every build, and the 32-bit build's send buffer: each
// packet's bytes.
constexpr int PACKET_BUFFER_LEN = 512;

// The 9 bytes the x86-64 wire carries for a text: its first 9 bytes, or the
// whole text followed by a NUL and NUL filler up to the ninth byte.
std::string fixedPayload(const std::string& text);

// The bytes the 32-bit wire carries for a text: the whole text and one NUL.
std::string wholePayload(const std::string& text);

// The longest text that goes whole, with its NUL, into one packet buffer.
constexpr std::size_t MAX_WHOLE_TEXT_LEN = PACKET_BUFFER_LEN - 1;

// How a build fills a vector: the x86-64 build repeats the destination it
// sends to, 9 bytes a text; the 32-bit build tells the peer where to reply,
// each text whole with its NUL.
enum class Wire_Rule { DESTINATION_IN_NINE_BYTES, OWN_ADDRESS_WHOLE };
constexpr Wire_Rule BUILD_WIRE_RULE =
    I386_BUILD ? Wire_Rule::OWN_ADDRESS_WHOLE : Wire_Rule::DESTINATION_IN_NINE_BYTES;

// The size of each send packet's buffer by `rule`: the whole texts are
// copied into 512 bytes; the 9-byte payloads are given 1024, as they always
// were.
constexpr int sendBufferLen(Wire_Rule rule) {
    return rule == Wire_Rule::OWN_ADDRESS_WHOLE ? PACKET_BUFFER_LEN : 1024;
}

// The texts of one message's vector, in slot order.
using Slot_Texts = std::array<std::string, SLOT_COUNT>;

// The texts that `rule` puts in the slots of the vector for `message`.
Slot_Texts vectorTexts(Wire_Rule rule, const std::string& dest_ip, const std::string& dest_port,
                       const std::string& reply_ip, const std::string& listen_port,
                       const std::string& message);

// Copies each text's payload by `rule` into its packet's own buffer and sets
// the packet's length, when every payload fits its buffer (`maxlen` bytes).
// Otherwise no packet is touched, and the result is the first slot whose
// payload does not fit.
std::optional<Slot> fillVector(UDPpacket* const* packets, const Slot_Texts& texts, Wire_Rule rule);

// Whether a vector ends the peer: the MSG packet's bytes, read by the
// receiver's rule, are "quit".
bool vectorCarriesQuit(UDPpacket* const* packets);

// The text of a received slot: its bytes up to the first NUL, never reaching
// past the `len` bytes that were received into it.
std::string slotText(const std::uint8_t* data, int len);

// The one control message: the MSG slot reading exactly "quit".
bool isQuitText(const std::string& text);
