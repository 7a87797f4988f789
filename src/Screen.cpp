// Screen.cpp: clearing the terminal screen through the shell command "clear".
#include "Screen.h"

#include <cstdlib>

void clearScreen() {
    // Without a working "clear" the screen simply stays as it is.
    [[maybe_unused]] const int status = std::system("clear");
}
