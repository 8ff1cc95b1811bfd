// The DLL as the Windows loader sees it: it loads and unloads (its entry point reports success),
// and the functions work when called through the addresses the loader gives. Which names it
// exports is checked against its export table by the shared_library_exports test.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <thread>
#include <vector>

#include "wex_publiclib.h"

namespace {

void keep_element(void *) {}

template <typename Function> Function *function(HMODULE module, const char *name) {
    return reinterpret_cast<Function *>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// The test binary itself links the static library, so every load runs the DLL's entry point
// afresh. With thread notifications turned off, threads that start and end while the DLL is
// loaded do not call into it; they must not disturb it either.
TEST(DllLoad, TheDllLoadsAndUnloadsAgainAndItsFunctionsWorkFromAnyThread) {
    for (int round = 0; round < 2; ++round) {
        HMODULE dll = LoadLibraryW(L"wex_publiclib.dll");
        ASSERT_NE(dll, nullptr) << "LoadLibrary failed with " << GetLastError();
        auto *crc16 = function<decltype(QUIL_CRC_16)>(dll, "QUIL_CRC_16");
        auto *init = function<decltype(QUIL_DLinkList_Init)>(dll, "QUIL_DLinkList_Init");
        auto *insert = function<decltype(QUIL_DLinkList_Insert)>(dll, "QUIL_DLinkList_Insert");
        auto *deinit = function<decltype(QUIL_DLinkList_Deinit)>(dll, "QUIL_DLinkList_Deinit");
        ASSERT_TRUE(crc16 != nullptr && init != nullptr && insert != nullptr && deinit != nullptr);

        DLinkList *list = nullptr;
        int element = 1;
        ASSERT_EQ(init(nullptr, keep_element, &list), QUIL_SUCCESS);
        EXPECT_EQ(insert(list, &element, DLINK_POS_TAIL), QUIL_SUCCESS);
        EXPECT_EQ(list->count, 1u);
        EXPECT_EQ(deinit(list, 1), QUIL_SUCCESS);

        std::vector<uint16_t> results(4);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < results.size(); ++t) {
            threads.emplace_back([crc16, &results, t] { crc16("123456789", 9, &results[t]); });
        }
        for (size_t t = 0; t < threads.size(); ++t) {
            threads[t].join();
            EXPECT_EQ(results[t], 0x31C3);
        }
        EXPECT_NE(FreeLibrary(dll), 0);
    }
}

} // namespace
