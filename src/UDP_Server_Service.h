// UDP_Server_Service.h: the receiving half, which polls the listen port and
// shows every message vector that arrives.
#pragma once

#include <SDL_net.h>

#include <string>

class UDP_Server_Service {
  public:
    UDP_Server_Service(std::string reply_ip, std::string listen_port);
    ~UDP_Server_Service();
    UDP_Server_Service(const UDP_Server_Service&) = delete;
    UDP_Server_Service& operator=(const UDP_Server_Service&) = delete;

    // One poll that never blocks for long: 0 when the vector just received
    // carries "quit" in its MSG slot, 1 otherwise.
    int recieve_data();

    // Whether the last poll took datagrams: more may be waiting, so the
    // loop polls again before it sleeps.
    bool took_datagrams() const;

    // Sleeps until a datagram waits on the listen port, for at most
    // `timeout_ms`: the idle wait when the keyboard cannot be watched too.
    void wait_for_data(Uint32 timeout_ms);

    // The listen socket's descriptor, so one wait can watch it and the
    // keyboard together; -1 when it could not be found.
    int descriptor() const;

  private:
    void resolve_server_address();
    int receive_rest_of_vector(int received);
    void show_vector(int count) const;

    UDPsocket socket = nullptr;
    UDPpacket** packets = nullptr;
    IPaddress address{};
    std::string reply_ip;
    std::string listen_port;
    SDLNet_SocketSet socket_set = nullptr;
    int socket_fd = -1;
    bool last_poll_took_datagrams = false;
};
