// Setup_Failure.h: how a failed set-up step ends the program.
#pragma once

#include <string>

// Writes "FAILED!\n<call>: <reason>\n" to standard error and exits with
// status 1. The reason is SDL's error text, or `fallback_reason` when the
// library left that empty. Standard output is not flushed first, so the
// unfinished progress text follows when the process exits.
[[noreturn]] void failSetupStep(const std::string& call, const char* fallback_reason);
