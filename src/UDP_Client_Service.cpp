// UDP_Client_Service.cpp: set-up, sending and teardown of the sending socket
// and its packet vector.
#include "UDP_Client_Service.h"

#include <string>
#include <utility>

#include "Arguments.h"
#include "Build_Variant.h"
#include "Display_Text.h"
#include "Message_Vector.h"
#include "Net_Library.h"
#include "Setup_Failure.h"
#include "Standard_Output.h"

namespace {

constexpr int SEND_BUFFER_LEN = sendBufferLen(BUILD_WIRE_RULE);

// What each slot carries, for the line that refuses a text too long for it.
constexpr const char* SLOT_NAMES[SLOT_COUNT] = {"address", "port", "message"};

}  // namespace

UDP_Client_Service::UDP_Client_Service(std::string dest_ip, std::string dest_port,
                                       std::string reply_ip, std::string listen_port)
    : dest_ip(std::move(dest_ip)),
      dest_port(std::move(dest_port)),
      reply_ip(std::move(reply_ip)),
      listen_port(std::move(listen_port)) {
    print("\nInitializing SDL_net (sending)...");
    if (startSdlNet() < 0) failSetupStep("SDLNet_Init");
    printLine("Success!");

    resolve_server_address();

    print("Opening random communication socket for sending...");
    socket = SDLNet_UDP_Open(0);
    if (socket == nullptr) failSetupStep("SDLNet_UDP_Open(0)");
    printLine("Success!");

    print("Allocating memory for sending packets...");
    packets = SDLNet_AllocPacketV(SLOT_COUNT, SEND_BUFFER_LEN);
    if (packets == nullptr) failSetupStep("SDLNet_AllocPacketV(3, %d)", SEND_BUFFER_LEN);
    printLine("Success!");
}

UDP_Client_Service::~UDP_Client_Service() {
    SDLNet_UDP_Close(socket);
    printLine("Shutting down sending client...");
    if constexpr (I386_BUILD) print("Freeing allocated memory for outbound packets...");
    SDLNet_FreePacketV(packets);
    print("Done!\nExiting SDLNet and terminating server...");
    quitSdlNet();
    printLine("Done!");
}

void UDP_Client_Service::resolve_server_address() {
    const std::string shown_ip = shownText(dest_ip), shown_port = shownText(dest_port);
    print("Resolving server address (%s [%s])...", shown_ip.c_str(), shown_port.c_str());
    if (SDLNet_ResolveHost(&address, dest_ip.c_str(), portFromText(dest_port)) != 0) {
        failSetupStep("SDLNet_ResolveHost(%s %s)", shown_ip.c_str(), shown_port.c_str());
    }
    print("Success!\n");
}

void UDP_Client_Service::send_msg(std::string text) {
    quit_sent = false;
    if constexpr (!I386_BUILD) printLine("data_to_send[IP]: 0");
    const Slot_Texts texts =
        vectorTexts(BUILD_WIRE_RULE, dest_ip, dest_port, reply_ip, listen_port, text);
    // A text too long for its packet sends nothing of its vector.
    if (const std::optional<Slot> too_long = fillVector(packets, texts, BUILD_WIRE_RULE)) {
        print("Not sent: the %s is %zu bytes long; a text may be at most %zu bytes.\n",
              SLOT_NAMES[*too_long], texts[*too_long].size(), MAX_WHOLE_TEXT_LEN);
        return;
    }

    printLine("Setting packet vector destination info...");
    for (int i = 0; i < SLOT_COUNT; ++i) {
        UDPpacket* packet = packets[i];
        print("Packet[%d]: setting host->", i);
        packet->address.host = address.host;
        print("setting port->");
        packet->address.port = address.port;
        print("setting length->");
        print("%dsetting channel...\n", packet->len);
        packet->channel = -1;
    }

    printLine("Sending...");
    // The library returns how many datagrams went out, never -1, so a short
    // count is the failure.
    if (SDLNet_UDP_SendV(socket, packets, SLOT_COUNT) < SLOT_COUNT) {
        print("Error sending packet!\n");
        return;
    }
    // Only a vector that went out whole can end the peer.
    quit_sent = vectorCarriesQuit(packets);
}

void UDP_Client_Service::show_dest_info() const {
    print("Sending packets to %s on port %s\n", shownText(dest_ip).c_str(),
          shownText(dest_port).c_str());
}

bool UDP_Client_Service::sent_quit() const { return quit_sent; }
