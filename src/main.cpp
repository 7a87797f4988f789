// main.cpp: the program driver: command line, start-up, the one polling loop
// over keyboard and listen socket, the console commands, and teardown.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Arguments.h"
#include "Build_Variant.h"
#include "Descriptors.h"
#include "Display_Text.h"
#include "Get_Key.h"
#include "Net_Library.h"
#include "Screen.h"
#include "Setup_Failure.h"
#include "Standard_Input.h"
#include "Standard_Output.h"
#include "UDP_Client_Service.h"
#include "UDP_Server_Service.h"

int checkArgs(char** argv);
void displayHelp();

namespace {

constexpr int ARGUMENT_COUNT = 5;  // the program's name and four texts

constexpr char USAGE[] =
    "\nInvalid syntax!\n\tquennimard <other_ip> <other_ip's_send_port> <reply_ip> "
    "<listen_port>\n\n";

// Where the keyboard cannot be watched together with the listen socket, an
// idle pass sleeps on the socket this long at most, so a key is still noticed
// soon and the copy never goes deaf.
constexpr Uint32 FALLBACK_IDLE_WAIT_MS = 20;

[[noreturn]] void refuseCommandLine() {
    std::fwrite(USAGE, 1, sizeof USAGE - 1, stderr);
    std::exit(1);
}

// Writes out the prompt before waiting, ending the copy if it cannot be
// written, then reads one word; false at the end of input, which ends the
// program the way "exit" does instead of repeating the last word.
bool readWord(std::string& word) {
    endIfOutputFailed();
    return standardInput().read_word(word);
}

// Reads one word, then drops the rest of its line, so that no later word of
// a message or an answer is ever taken for a command.
bool readWordOfLine(std::string& word) {
    if (!readWord(word)) return false;
    standardInput().drop_rest_of_line();
    return true;
}

// Ends the program, before anything is printed, asked or bound, when an
// argument, or the descriptors it was started with, cannot work.
void refuseUnusableStart(char** argv) {
    std::string error = argumentError(argv[2], argv[3], argv[4]);
    if (error.empty()) error = socketDescriptorError();
    if (error.empty()) return;
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
}

// Runs one console command; returns 1 when it ends the program.
int runCommand(UDP_Client_Service& client, std::string& command, std::string& message) {
    print("\n$ ");
    if (!readWord(command)) return 1;

    if (command == "send") {
        print(" > ");
        if (!readWordOfLine(message)) return 1;
        client.send_msg(message);
        // Ended exactly when the peer is: "quit" typed with a NUL and more
        // after it reads as "quit" there too.
        if (client.sent_quit()) {
            if constexpr (I386_BUILD) clearScreen();
            print("msg = %s\n", message.c_str());
            printLine("\nClient sent \"quit\" command!");
            return 1;
        }
    } else if (command == "help") {
        displayHelp();
    } else if (command == "exit") {
        return 1;
    } else if (command == "show_dest_info") {
        client.show_dest_info();
    }
    return 0;
}

// Sleeps until a key or a datagram arrives: in the foreground, or without a
// terminal, an idle copy wakes for nothing else (in the background it looks
// every 100 ms whether fg has brought it back; where the keyboard cannot be
// watched with the socket, it polls the keyboard every 20 ms). False once the
// terminal has hung up or failed, which ends the program as the end of input
// at a prompt does, so it never sits deaf with its port.
bool waitWhileIdle(UDP_Server_Service& server) {
    const Idle_Wake wake = waitForKeyOrDatagram(server.descriptor());
    if (wake == Idle_Wake::CANNOT_WAIT) server.wait_for_data(FALLBACK_IDLE_WAIT_MS);
    return wake != Idle_Wake::INPUT_GONE;
}

// Everything before the services, in the order it must come; a step that
// finds the start unusable ends the program itself.
void startUp(int argc, char** argv) {
    // The count first: any other command line gets the usage text, whatever
    // else is wrong with it (a closed output, say).
    if (argc != ARGUMENT_COUNT) refuseCommandLine();
    // Before any descriptor is opened, so that no socket takes 0, 1 or 2.
    secureStandardDescriptors();
    // Before the first large allocation, so memory running out has a reason.
    endWhenMemoryRunsOut();
    // Before anything is printed, asked or bound.
    refuseUnusableStart(argv);
    // Before the terminal's mode is first changed, so signals put it back.
    prepareKeyPolling();
    // After the handlers, SIGPIPE's among them, and before SDL_net starts
    // and changes that disposition.
    noteSigpipeDisposition();
    // The last step that can refuse with the usage text: the 32-bit build's
    // answer "n".
    if (!checkArgs(argv)) refuseCommandLine();
    // After the summary, which the 32-bit build keeps on screen until it is
    // answered.
    clearScreen();
}

}  // namespace

// Given the four arguments (the count is checked first of all).
int checkArgs(char** argv) {
    print("\n   IP Address to connect to: %s", shownText(argv[1]).c_str());
    print("\n  Port number to connect to: %s", shownText(argv[2]).c_str());
    print("\n     IP address to reply to: %s", shownText(argv[3]).c_str());
    print("\nListen port to recieve from: %s", shownText(argv[4]).c_str());
    print("\nIs this correct? [Y/n] ");
    if constexpr (I386_BUILD) {
        // Only "n" or "N" refuses. End of input counts as yes; wherever the
        // read met it (also just after a typed word), it is forgotten, so
        // that later prompts on a terminal still wait for the user.
        std::string answer;
        readWordOfLine(answer);
        standardInput().forget_end_of_input();
        if (answer == "n" || answer == "N") return 0;
    }
    return 1;
}

void displayHelp() {
    printLine("\n Help:");
    printLine("\tshow_dest_info - displays current destination IP address and port number");
    printLine("\t          send - send data packet to destination IP address at selected port");
    printLine("\t          exit - quit program, but don't force other client to quit too");
    printLine("\t          help - display this message\n");
}

int main(int argc, char** argv) {
    std::string message;
    std::string command;
    int stop = 0;

    startUp(argc, argv);
    {
        // The services end with this block, so a failed write of their
        // teardown lines is caught below.
        const std::string dest_ip = argv[1];
        const std::string dest_port = argv[2];
        const std::string reply_ip = argv[3];
        const std::string listen_port = argv[4];
        UDP_Client_Service client(dest_ip, dest_port, reply_ip, listen_port);
        UDP_Server_Service server(reply_ip, listen_port);
        endIfOutputFailed();  // before the first wait, not at the first key

        while (stop == 0) {
            const bool key_opened_prompt = kbhit() != 0 && getch() == '\n';
            if (key_opened_prompt) {
                stop = runCommand(client, command, message);
            } else if (!server.took_datagrams() && !waitWhileIdle(server)) {
                stop = 1;
            }
            if (server.recieve_data() == 0) stop = 1;
            endIfOutputFailed();
        }

        printLine("\nTerminating program normally...");
    }
    endIfOutputFailed();
    return 0;
}
