// The DLL as the Windows loader sees it: it loads and unloads (its entry point reports success),
// it carries the exported functions under their plain names and no internal one, and the
// functions work when called through the addresses the loader gives.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "wex_publiclib.h"

namespace {

constexpr wchar_t kDllName[] = L"wex_publiclib.dll";

std::vector<std::string> exported_names() {
    std::ifstream list(wextest::data_path("exports.txt"));
    std::vector<std::string> names;
    for (std::string name; std::getline(list, name);) {
        names.push_back(name);
    }
    return names;
}

void keep_element(void *) {}

// Loads the DLL for the scope of one test; the test binary itself links the static library, so
// every load runs the DLL's entry point afresh.
class LoadedDll {
  public:
    LoadedDll() : module_(LoadLibraryW(kDllName)) {}
    ~LoadedDll() {
        if (module_ != nullptr) {
            EXPECT_NE(FreeLibrary(module_), 0);
        }
    }
    LoadedDll(const LoadedDll &) = delete;
    LoadedDll &operator=(const LoadedDll &) = delete;

    HMODULE get() const { return module_; }

    template <typename Function> Function *function(const char *name) const {
        return reinterpret_cast<Function *>(
            reinterpret_cast<void *>(GetProcAddress(module_, name)));
    }

  private:
    HMODULE module_;
};

TEST(DllLoad, TheEntryPointLetsTheDllLoadAndUnloadAgain) {
    for (int round = 0; round < 2; ++round) {
        LoadedDll dll;
        ASSERT_NE(dll.get(), nullptr) << "LoadLibrary failed with " << GetLastError();
    }
}

TEST(DllLoad, EveryExportedFunctionIsFoundByItsPlainName) {
    LoadedDll dll;
    ASSERT_NE(dll.get(), nullptr);
    std::vector<std::string> names = exported_names();
    ASSERT_EQ(names.size(), 24u);
    for (const std::string &name : names) {
        EXPECT_NE(dll.function<void()>(name.c_str()), nullptr) << name;
    }
}

TEST(DllLoad, InternalFunctionsAreNotExported) {
    LoadedDll dll;
    ASSERT_NE(dll.get(), nullptr);
    for (const char *name :
         {"QUIL_CRC_32", "QUIL_Hash_Init", "QUIL_Ini_Load", "QUIL_SLinkList_Init",
          "QUIL_IpAddr_ParseV4", "QUIL_MD5_Init", "_QUIL_CRC_16"}) {
        EXPECT_EQ(dll.function<void()>(name), nullptr) << name;
    }
}

TEST(DllLoad, ExportedFunctionsWorkThroughTheLoadersAddresses) {
    LoadedDll dll;
    ASSERT_NE(dll.get(), nullptr);
    auto *crc16 = dll.function<decltype(QUIL_CRC_16)>("QUIL_CRC_16");
    auto *init = dll.function<decltype(QUIL_DLinkList_Init)>("QUIL_DLinkList_Init");
    auto *insert = dll.function<decltype(QUIL_DLinkList_Insert)>("QUIL_DLinkList_Insert");
    auto *deinit = dll.function<decltype(QUIL_DLinkList_Deinit)>("QUIL_DLinkList_Deinit");
    ASSERT_TRUE(crc16 != nullptr && init != nullptr && insert != nullptr && deinit != nullptr);

    uint16_t crc = 0;
    EXPECT_EQ(crc16("123456789", 9, &crc), QUIL_SUCCESS);
    EXPECT_EQ(crc, 0x31C3);

    DLinkList *list = nullptr;
    int element = 1;
    ASSERT_EQ(init(nullptr, keep_element, &list), QUIL_SUCCESS);
    EXPECT_EQ(insert(list, &element, DLINK_POS_TAIL), QUIL_SUCCESS);
    EXPECT_EQ(list->count, 1u);
    EXPECT_EQ(deinit(list, 1), QUIL_SUCCESS);
}

// With thread notifications turned off, threads that start and end while the DLL is loaded do
// not call into it; they must not disturb it either.
TEST(DllLoad, ThreadsStartingAndEndingWhileLoadedLeaveTheDllWorking) {
    LoadedDll dll;
    ASSERT_NE(dll.get(), nullptr);
    auto *crc16 = dll.function<decltype(QUIL_CRC_16)>("QUIL_CRC_16");
    ASSERT_NE(crc16, nullptr);
    std::vector<std::thread> threads;
    std::vector<uint16_t> results(4);
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([crc16, &results, t] { crc16("123456789", 9, &results[t]); });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (uint16_t result : results) {
        EXPECT_EQ(result, 0x31C3);
    }
}

} // namespace
