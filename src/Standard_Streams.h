// Standard_Streams.h: the standard descriptors made safe at start; standard
// input read as a terminal program reads it, waiting while it is empty; and
// standard output kept as a filter keeps it: every line out at once, nothing
// lost to a full pipe or a paused terminal, the SIGPIPE disposition the
// caller gave, and an end with its reason once it can no longer be written.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Refuses a closed standard output (one line on standard error, status 1),
// and puts /dev/null on a closed standard input or error, so that no socket
// ever takes descriptor 0, 1 or 2.
void secureStandardDescriptors();

// Reads up to `size` bytes of standard input as read() does, but waits for
// them where read() would fail because nothing waits on a descriptor that
// another program left non-blocking, and goes on after a signal handler ran.
ssize_t readWaitingWhileEmpty(void* data, std::size_t size);

// Makes the standard input stream read through readWaitingWhileEmpty, so a
// prompt or question on a non-blocking terminal waits for its word instead of
// taking the empty read for the end of input. The descriptor's flags, which
// the caller shares, are left as they are.
void readInputWaitingWhileEmpty();

// Line-buffers standard output whatever it is, with room for a whole
// received vector, so each line reaches a pipe or file at once. A write that
// would block (a full pipe, a terminal paused with Ctrl-S, on a non-blocking
// descriptor) waits until the output takes more, so nothing is lost.
void bufferOutputByLine();

// Notes the SIGPIPE disposition in force now: the caller's, or the handler
// that puts the terminal back before the signal ends the program.
void rememberSigpipeDisposition();

// Puts back the noted disposition: SDL_net's start-up sets SIGPIPE to
// ignored, and its teardown to default. By default a copy whose output
// reader is gone then ends at its next write, as filters do.
void restoreSigpipeDisposition();

// Writes out what standard output holds, and ends the program with one line
// on standard error and status 1 when a write to it has failed (its reader
// gone while SIGPIPE is ignored, a full disk, an I/O error).
void endIfOutputFailed();
