// UDP_Client_Service.cpp: set-up, sending and teardown of the sending socket
// and its packet vector.
#include "UDP_Client_Service.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "Build_Variant.h"
#include "Message_Vector.h"
#include "Setup_Failure.h"
#include "Standard_Streams.h"

namespace {

constexpr int SEND_BUFFER_LEN = I386_BUILD ? PACKET_BUFFER_LEN : 1024;

using Slot_Texts = std::array<const std::string*, SLOT_COUNT>;

// Refuses, with a message, a message that does not fit its packet: nothing of
// its vector is sent. The other two texts were checked at start-up.
bool fitsInPacket(const std::string& message) {
    if (message.size() <= MAX_WHOLE_TEXT_LEN) return true;
    std::printf("Not sent: the message is %zu bytes long; a text may be at most %zu bytes.\n",
                message.size(), MAX_WHOLE_TEXT_LEN);
    return false;
}

}  // namespace

UDP_Client_Service::UDP_Client_Service(std::string dest_ip, std::string dest_port,
                                       std::string reply_ip, std::string listen_port)
    : dest_ip(std::move(dest_ip)),
      dest_port(std::move(dest_port)),
      reply_ip(std::move(reply_ip)),
      listen_port(std::move(listen_port)) {
    std::printf("\nInitializing SDL_net (sending)...");
    if (SDLNet_Init() < 0) failSetupStep("SDLNet_Init");
    restoreSigpipeDisposition();  // the library's start-up ignores SIGPIPE
    std::puts("Success!");

    resolve_server_address();

    std::printf("Opening random communication socket for sending...");
    socket = SDLNet_UDP_Open(0);
    if (socket == nullptr) failSetupStep("SDLNet_UDP_Open(0)");
    std::puts("Success!");

    std::printf("Allocating memory for sending packets...");
    packets = SDLNet_AllocPacketV(SLOT_COUNT, SEND_BUFFER_LEN);
    if (packets == nullptr) failSetupStep("SDLNet_AllocPacketV(3, %d)", SEND_BUFFER_LEN);
    packets[MSG]->len = 0;  // the library leaves it unset: nothing sent yet
    std::puts("Success!");
}

UDP_Client_Service::~UDP_Client_Service() {
    SDLNet_UDP_Close(socket);
    std::puts("Shutting down sending client...");
    if constexpr (I386_BUILD) std::printf("Freeing allocated memory for outbound packets...");
    SDLNet_FreePacketV(packets);
    std::printf("Done!\nExiting SDLNet and terminating server...");
    SDLNet_Quit();
    restoreSigpipeDisposition();  // the library's teardown sets SIGPIPE to default
    std::puts("Done!");
}

void UDP_Client_Service::resolve_server_address() {
    std::printf("Resolving server address (%s [%s])...", dest_ip.c_str(), dest_port.c_str());
    if (SDLNet_ResolveHost(&address, dest_ip.c_str(), portFromText(dest_port)) != 0) {
        failSetupStep("SDLNet_ResolveHost(%s %s)", dest_ip.c_str(), dest_port.c_str());
    }
    std::printf("Success!\n");
}

void UDP_Client_Service::send_msg(std::string text) {
    // The 32-bit build tells the peer where to reply; the x86-64 build
    // repeats the destination it sends to.
    const Slot_Texts texts = I386_BUILD ? Slot_Texts{&reply_ip, &listen_port, &text}
                                        : Slot_Texts{&dest_ip, &dest_port, &text};
    if constexpr (I386_BUILD) {
        if (!fitsInPacket(text)) {
            packets[MSG]->len = 0;
            return;
        }
    } else {
        std::puts("data_to_send[IP]: 0");
    }
    for (int i = 0; i < SLOT_COUNT; ++i) {
        load_slot(i, I386_BUILD ? wholePayload(*texts[i]) : fixedPayload(*texts[i]));
    }

    std::puts("Setting packet vector destination info...");
    for (int i = 0; i < SLOT_COUNT; ++i) {
        UDPpacket* packet = packets[i];
        std::printf("Packet[%d]: setting host->", i);
        packet->address.host = address.host;
        std::printf("setting port->");
        packet->address.port = address.port;
        std::printf("setting length->");
        std::printf("%dsetting channel...\n", packet->len);
        packet->channel = -1;
    }

    std::puts("Sending...");
    // The library returns how many datagrams went out, never -1, so a short
    // count is the failure.
    if (SDLNet_UDP_SendV(socket, packets, SLOT_COUNT) < SLOT_COUNT) {
        std::printf("Error sending packet!\n");
    }
}

void UDP_Client_Service::show_dest_info() const {
    std::printf("Sending packets to %s on port %s\n", dest_ip.c_str(), dest_port.c_str());
}

bool UDP_Client_Service::sent_quit() const {
    return isQuitText(slotText(packets[MSG]->data, packets[MSG]->len));
}

void UDP_Client_Service::load_slot(int slot, const std::string& payload) {
    // The packet's own buffer holds the payload, so the send never reads
    // outside storage that the packet owns, whatever the text's length.
    UDPpacket* packet = packets[slot];
    std::memcpy(packet->data, payload.data(), payload.size());
    packet->len = static_cast<int>(payload.size());
}
