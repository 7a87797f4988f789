// Unit tests of how the program ends when memory runs out: with its reason
// and status 1, never by an exception nothing handles.
#include "Setup_Failure.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>

TEST(MemoryRunningOut, EndsWithItsReasonAndStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator reports instead of failing the allocation";
#else
    const auto allocate_too_much = [] {
        endWhenMemoryRunsOut();
        volatile std::size_t too_much = std::numeric_limits<std::size_t>::max() / 2;
        ::operator delete(::operator new(too_much));
    };
    EXPECT_EXIT(allocate_too_much(), testing::ExitedWithCode(1), "^Out of memory: ending.\n$");
#endif
}
