// The main of every test binary: after each test the adapter must hold exactly the blocks it held
// before it, every armed fault and hook is disarmed and the clock runs again, so no test leaks
// into the next.
#include <gtest/gtest.h>

#include "wex_os_adapter.h"

namespace {

class LeakChecker : public testing::EmptyTestEventListener {
    uint32_t liveAtStart_ = 0;

    void OnTestStart(const testing::TestInfo &) override {
        liveAtStart_ = QUIL_Adapter_LiveBlocks();
    }

    void OnTestEnd(const testing::TestInfo &) override {
        for (int op = 0; op < QUIL_OP_COUNT; ++op) {
            QUIL_Adapter_FailNth(static_cast<QuilAdapterOp>(op), 0);
            QUIL_Adapter_BeforeCall(static_cast<QuilAdapterOp>(op), nullptr, nullptr);
        }
        QUIL_Adapter_SetTime(0);
        EXPECT_EQ(QUIL_Adapter_LiveBlocks(), liveAtStart_)
            << "blocks were allocated through the adapter and not given back";
    }
};

} // namespace

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new LeakChecker);
    return RUN_ALL_TESTS();
}
