#include <gtest/gtest.h>

#include "test_support.h"
#include "wex_os_adapter.h"

TEST(AdapterAllocation, ZeroFilledBlocksAreZero) {
    auto *block = static_cast<unsigned char *>(QUIL_MemMallocS(100, 0, __LINE__, "test"));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(block[i], 0);
    }
    QUIL_MemFreeD(block, __LINE__, "test");
}
