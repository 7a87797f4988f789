// Standard_Output.h: the program's one output stream, standard output kept
// as a filter keeps it: every line written out at once, also into a pipe or a
// file; nothing lost to a full pipe or a paused terminal; and an end with its
// reason once it can no longer be written. Nothing else in the program writes
// to standard output.
#pragma once

#include <string_view>

// Appends text formatted as printf formats it. Everything up to the text's
// last newline is written out at once; what follows it is held.
void print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Appends the bytes of `text` as they are, likewise.
void printText(std::string_view text);

// Appends `line` and a newline, as puts does.
void printLine(std::string_view line);

// Writes out what is held. A write that would block (a full pipe, a terminal
// paused with Ctrl-S, on a non-blocking descriptor) waits until the output
// takes more; one that fails (the reader gone while SIGPIPE is ignored, a full
// disk, an I/O error) ends all writing. The process's exit writes out too.
void flushOutput();

// Writes out what is held, and ends the program with one line on standard
// error and status 1 when a write has failed.
void endIfOutputFailed();
