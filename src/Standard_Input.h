// Standard_Input.h: standard input read as a terminal program reads it,
// waiting while it is empty: bytes for the key polling, words for the
// prompts and the 32-bit build's question.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "Word_Reader.h"

// Reads up to `size` bytes of standard input as read() does, but waits for
// them where read() would fail because nothing waits on a descriptor that
// another program left non-blocking (its flags, which the caller shares, stay
// as they are), and goes on after a signal handler ran.
ssize_t readWaitingWhileEmpty(void* data, std::size_t size);

// The words of standard input, read through readWaitingWhileEmpty by every
// prompt and by the question alike, so none of them loses what another has
// read ahead.
Word_Reader& standardInput();
