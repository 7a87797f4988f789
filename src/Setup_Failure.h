// Setup_Failure.h: how a failed set-up step, or memory running out at any
// time, ends the program.
#pragma once

// Writes "FAILED!\n", the failing call (`call_format` filled in as printf
// does), ": ", SDL's error text (empty when the library set none) and a
// newline to standard error, and exits with status 1. Nothing is allocated,
// so this works also when memory has run out. Standard output is not flushed
// first: the unfinished progress text follows when the process exits.
[[noreturn]] void failSetupStep(const char* call_format, ...) __attribute__((format(printf, 1, 2)));

// From now on, an allocation that finds no memory ends the program with
// "Out of memory: ending." on standard error and status 1, instead of an
// exception nothing could handle and an abort.
void endWhenMemoryRunsOut();
