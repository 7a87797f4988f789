// Build_Variant.h: the one switch between the x86-64 deliverable and the
// 32-bit x86 deliverable, set by the build (QUENNIMARD_I386=1 for the latter).
//
// The 32-bit x86 deliverable asks for the confirmation answer, clears the
// screen when "quit" is sent or received, shows a received vector in five
// lines, and sends each slot's text whole, with its NUL, from its own 512-byte
// packet buffers, carrying its own reply address and listen port.
#pragma once

#ifndef QUENNIMARD_I386
#define QUENNIMARD_I386 0
#endif

constexpr bool I386_BUILD = QUENNIMARD_I386 != 0;
