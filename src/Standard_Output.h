// Standard_Output.h: standard output kept as a filter keeps it: every line
// out at once, the SIGPIPE disposition the caller gave, and an end with a
// message once it can no longer be written.
#pragma once

// Line-buffers standard output whatever it is, with room for a whole
// received vector, so each line reaches a pipe or file at once.
void bufferOutputByLine();

// Notes the SIGPIPE disposition found at start; SDL_net's start-up sets it
// to ignored, and its teardown to default.
void rememberSigpipeDisposition();

// Puts back the noted disposition, so that by default a copy whose output
// reader is gone ends at its next write, as filters do.
void restoreSigpipeDisposition();

// Ends the program with a message on standard error and status 1 when a
// write to standard output has failed (SIGPIPE ignored by the caller, or
// another write error).
void endIfOutputFailed();
