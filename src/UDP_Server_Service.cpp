// UDP_Server_Service.cpp: set-up, polling, display and teardown of the
// receiving socket and its packet vector.
#include "UDP_Server_Service.h"

#include <chrono>
#include <string>
#include <utility>

#include "Arguments.h"
#include "Build_Variant.h"
#include "Descriptors.h"
#include "Display_Text.h"
#include "Message_Vector.h"
#include "Net_Library.h"
#include "Screen.h"
#include "Setup_Failure.h"
#include "Standard_Output.h"

namespace {

// The datagrams of one vector leave the sender microseconds apart, or, on a
// slow or loaded machine whose scheduler runs something else between them,
// a few time slices apart. A poll that has caught only part of a vector waits
// this long, at most, for each next datagram: long enough for such a sender,
// and short enough that a vector which really lost a datagram is shown
// before a person would notice a delay (about a tenth of a second).
constexpr std::chrono::milliseconds VECTOR_COMPLETION_BOUND{100};
constexpr auto COMPLETION_WAIT_MS = static_cast<Uint32>(VECTOR_COMPLETION_BOUND.count());

std::string slotLineOf(const char* label, const UDPpacket* packet) {
    return slotLine(label, packet->data, packet->len, localeCharset());
}

}  // namespace

UDP_Server_Service::UDP_Server_Service(std::string reply_ip, std::string listen_port)
    : reply_ip(std::move(reply_ip)), listen_port(std::move(listen_port)) {
    if (meansDefaultListenPort(this->listen_port)) {
        this->listen_port = DEFAULT_LISTEN_PORT;
        printLine("\nNo port given...\nDefaulting to port 4555...");
    } else {
        print("Accepting connections on port: %s\n", shownText(this->listen_port).c_str());
    }

    print("Initializing SDL_net (recieve)...");
    if (startSdlNet() < 0) failSetupStep("SDLNet_Init");
    printLine("Success!");

    print("Opening port %s for incoming connections...", shownText(this->listen_port).c_str());
    socket = SDLNet_UDP_Open(portFromText(this->listen_port));
    if (socket == nullptr) failSetupStep("SDLNet_UDP_Open(port)");
    printLine("Success!");
    socket_fd = descriptorOf(socket);
    if (socket_fd >= 0) enlargeReceiveBuffer(socket_fd);

    resolve_server_address();

    print("Allocating memory for recieving packets...");
    packets = SDLNet_AllocPacketV(SLOT_COUNT, PACKET_BUFFER_LEN);
    if (packets == nullptr) failSetupStep("SDLNet_AllocPacket(%d)", PACKET_BUFFER_LEN);
    // The library leaves a new packet's length unset; a slot never filled
    // must read as empty text.
    for (int i = 0; i < SLOT_COUNT; ++i) packets[i]->len = 0;
    printLine("Success!\n");

    socket_set = SDLNet_AllocSocketSet(1);
    if (socket_set == nullptr) failSetupStep("SDLNet_AllocSocketSet(1)");
    SDLNet_UDP_AddSocket(socket_set, socket);
}

UDP_Server_Service::~UDP_Server_Service() {
    SDLNet_UDP_Close(socket);
    SDLNet_FreeSocketSet(socket_set);
    printLine("Shutting down sending client...");
    printLine("Done!\nShutting down recieving client...");
    print("Freeing allocated memory for inbound packets...");
    SDLNet_FreePacketV(packets);
    print("Done!\nExiting SDLNet and terminating server...");
    quitSdlNet();
    printLine("Done!");
}

void UDP_Server_Service::resolve_server_address() {
    print("Resolving destination address...");
    if (SDLNet_ResolveHost(&address, nullptr, portFromText(listen_port)) != 0) {
        failSetupStep("SDLNet_ResolveHost(%s %s)", shownText(reply_ip).c_str(),
                      shownText(listen_port).c_str());
    }
    printLine("Success!");
}

int UDP_Server_Service::recieve_data() {
    // SDL_net counts the packets it filled; it has no error result (a failed
    // receive empties that slot and tries it again).
    const int received = SDLNet_UDP_RecvV(socket, packets);
    last_poll_took_datagrams = received > 0;
    if (received == 0) return 1;

    show_vector(receive_rest_of_vector(received));

    if (!vectorCarriesQuit(packets)) return 1;
    if constexpr (I386_BUILD) clearScreen();
    printLine("\nServer recieved \"quit\" signal from client!");
    return 0;
}

void UDP_Server_Service::wait_for_data(Uint32 timeout_ms) {
    SDLNet_CheckSockets(socket_set, timeout_ms);
}

int UDP_Server_Service::receive_rest_of_vector(int received) {
    while (received < SLOT_COUNT) {
        if (SDLNet_CheckSockets(socket_set, COMPLETION_WAIT_MS) <= 0) break;
        // The vector is null-terminated, so its tail is a vector of exactly
        // the slots still empty.
        received += SDLNet_UDP_RecvV(socket, packets + received);
    }
    return received;
}

void UDP_Server_Service::show_vector(int count) const {
    // Built whole, so the vector reaches the terminal in one write.
    std::string shown = "# Packets recieved: " + std::to_string(count) + "\n";
    if constexpr (!I386_BUILD) {
        shown += "Converting data to readable information...\n";
        shown += "Viewing packet info..\n";
    }
    shown += "Packet vector incoming!\n";
    shown += slotLineOf("\t  IP: ", packets[IP]);
    shown += slotLineOf("\tPORT: ", packets[PORT]);
    shown += slotLineOf("\t MSG: ", packets[MSG]);
    printText(shown);
}

int UDP_Server_Service::descriptor() const { return socket_fd; }

bool UDP_Server_Service::took_datagrams() const { return last_poll_took_datagrams; }
