// What Windows alone can tell about a file that may not be written in place: its read-only mark
// and another program's handle that shares no writing.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>

#include "test_support.h"
#include "wex_os_adapter.h"

namespace {

std::wstring wide(const std::string &path) {
    return std::filesystem::u8path(path).wstring();
}

// Every row fails for another cause than the row before it.
TEST(AdapterCauses, AFileMarkedReadOnlyOrHeldWithoutSharedWritingIsNotWritableInPlace) {
    wextest::TempDir dir;
    std::string marked = dir.file("marked.ini");
    std::string held = dir.file("held.ini");
    wextest::write_file(marked, "x");
    wextest::write_file(held, "x");
    ASSERT_TRUE(SetFileAttributesW(wide(marked).c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE holder = CreateFileW(wide(held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::pair<std::string, int32_t> rows[] = {
        {marked, EACCES}, {dir.path(), QUIL_ERROR_NOT_REGULAR}, {held, EBUSY}};
    for (const auto &[path, cause] : rows) {
        EXPECT_EQ(QUIL_CheckWritable(path.c_str()), -1) << path;
        EXPECT_EQ(QUIL_LastError(), cause) << path;
    }
    CloseHandle(holder);
    EXPECT_EQ(QUIL_CheckWritable(held.c_str()), 0);
    int32_t status = QUIL_LOCK_TAKEN;
    EXPECT_EQ(QUIL_LockFile(dir.path().c_str(), 0, &status), nullptr);
    EXPECT_EQ(status, QUIL_LOCK_FAILED);
    EXPECT_EQ(QUIL_LastError(), QUIL_ERROR_NOT_REGULAR);
    SetFileAttributesW(wide(marked).c_str(), FILE_ATTRIBUTE_NORMAL); // so that it can be removed
}

} // namespace
