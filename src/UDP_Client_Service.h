// UDP_Client_Service.h: the sending half, which sends each message as one
// vector of three datagrams to the one destination resolved at start-up.
#pragma once

#include <SDL_net.h>

#include <string>

class UDP_Client_Service {
  public:
    UDP_Client_Service(std::string dest_ip, std::string dest_port, std::string reply_ip,
                       std::string listen_port);
    ~UDP_Client_Service();
    UDP_Client_Service(const UDP_Client_Service&) = delete;
    UDP_Client_Service& operator=(const UDP_Client_Service&) = delete;

    void send_msg(std::string text);
    void show_dest_info() const;

    // Whether the message just sent ends the peer: its vector went out
    // whole, and its MSG slot, read by the receiver's rule, is "quit".
    bool sent_quit() const;

  private:
    void resolve_server_address();

    UDPsocket socket = nullptr;
    UDPpacket** packets = nullptr;
    IPaddress address{};
    std::string dest_ip;
    std::string dest_port;
    std::string reply_ip;
    std::string listen_port;
    bool quit_sent = false;
};
