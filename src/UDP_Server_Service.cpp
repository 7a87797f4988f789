// UDP_Server_Service.cpp: set-up, polling, display and teardown of the
// receiving socket and its packet vector.
#include "UDP_Server_Service.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "Build_Variant.h"
#include "Message_Vector.h"
#include "Screen.h"
#include "Setup_Failure.h"
#include "Socket_Descriptor.h"
#include "Standard_Streams.h"

namespace {

// The datagrams of one vector leave the sender microseconds apart; a poll that
// has caught only the first of them waits this long, at most, for the rest.
constexpr std::chrono::milliseconds VECTOR_COMPLETION_BOUND{5};

std::string slotLineOf(const char* label, const UDPpacket* packet) {
    return slotLine(label, packet->data, packet->len, localeCharset());
}

}  // namespace

UDP_Server_Service::UDP_Server_Service(std::string reply_ip, std::string listen_port)
    : reply_ip(std::move(reply_ip)), listen_port(std::move(listen_port)) {
    if (this->listen_port == "0") {
        this->listen_port = "4555";
        std::puts("\nNo port given...\nDefaulting to port 4555...");
    } else {
        std::printf("Accepting connections on port: %s\n", this->listen_port.c_str());
    }

    std::printf("Initializing SDL_net (recieve)...");
    if (SDLNet_Init() < 0) failSetupStep("SDLNet_Init");
    restoreSigpipeDisposition();  // the library's start-up ignores SIGPIPE
    std::puts("Success!");

    std::printf("Opening port %s for incoming connections...", this->listen_port.c_str());
    socket = SDLNet_UDP_Open(portFromText(this->listen_port));
    if (socket == nullptr) failSetupStep("SDLNet_UDP_Open(port)");
    std::puts("Success!");
    socket_fd = descriptorOf(socket);

    resolve_server_address();

    std::printf("Allocating memory for recieving packets...");
    packets = SDLNet_AllocPacketV(SLOT_COUNT, PACKET_BUFFER_LEN);
    if (packets == nullptr) failSetupStep("SDLNet_AllocPacket(%d)", PACKET_BUFFER_LEN);
    // The library leaves a new packet's length unset; a slot never filled
    // must read as empty text.
    for (int i = 0; i < SLOT_COUNT; ++i) packets[i]->len = 0;
    std::puts("Success!\n");

    socket_set = SDLNet_AllocSocketSet(1);
    if (socket_set == nullptr) failSetupStep("SDLNet_AllocSocketSet(1)");
    SDLNet_UDP_AddSocket(socket_set, socket);
}

UDP_Server_Service::~UDP_Server_Service() {
    SDLNet_UDP_Close(socket);
    SDLNet_FreeSocketSet(socket_set);
    std::puts("Shutting down sending client...");
    std::puts("Done!\nShutting down recieving client...");
    std::printf("Freeing allocated memory for inbound packets...");
    SDLNet_FreePacketV(packets);
    std::printf("Done!\nExiting SDLNet and terminating server...");
    SDLNet_Quit();
    restoreSigpipeDisposition();  // the library's teardown sets SIGPIPE to default
    std::puts("Done!");
}

void UDP_Server_Service::resolve_server_address() {
    std::printf("Resolving destination address...");
    if (SDLNet_ResolveHost(&address, nullptr, portFromText(listen_port)) != 0) {
        failSetupStep("SDLNet_ResolveHost(%s %s)", reply_ip.c_str(), listen_port.c_str());
    }
    std::puts("Success!");
}

int UDP_Server_Service::recieve_data() {
    int received = SDLNet_UDP_RecvV(socket, packets);
    if (received < 0) {
        std::printf("Error receiving packet!\n");
        return 1;
    }
    if (received == 0) return 1;

    received = receive_rest_of_vector(received);
    show_vector(received);

    if (!isQuitText(slotText(packets[MSG]->data, packets[MSG]->len))) return 1;
    if constexpr (I386_BUILD) clearScreen();
    std::puts("\nServer recieved \"quit\" signal from client!");
    return 0;
}

void UDP_Server_Service::wait_for_data(Uint32 timeout_ms) {
    SDLNet_CheckSockets(socket_set, timeout_ms);
}

int UDP_Server_Service::receive_rest_of_vector(int received) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + VECTOR_COMPLETION_BOUND;
    while (received < SLOT_COUNT) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        if (SDLNet_CheckSockets(socket_set, static_cast<Uint32>(left.count())) <= 0) break;
        // The vector is null-terminated, so its tail is a vector of exactly
        // the slots still empty.
        const int more = SDLNet_UDP_RecvV(socket, packets + received);
        if (more < 0) break;
        received += more;
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
    std::fwrite(shown.data(), 1, shown.size(), stdout);
}

int UDP_Server_Service::descriptor() const { return socket_fd; }
