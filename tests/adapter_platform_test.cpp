// What each platform's part of the adapter must give alike: names in UTF-8, resolved paths that
// name the same file, and a clock in nanoseconds since 1970. That a rename replaces its target is
// tested by every save (ini_write_save_test).
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "test_support.h"
#include "wex_os_adapter.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kUnit = "tests/adapter_platform_test";
constexpr uint64_t kNanosecondsPerSecond = 1000000000u;
constexpr int64_t kClockTolerance = 5; // seconds between reading two clocks in a loaded machine

class AdapterPlatform : public testing::Test {
  protected:
    wextest::TempDir dir_;
};

TEST_F(AdapterPlatform, RenameAndRemoveRefuseMissingFilesAndNullNames) {
    EXPECT_EQ(QUIL_Rename(dir_.file("missing").c_str(), dir_.file("doc").c_str()), -1);
    EXPECT_EQ(QUIL_Remove(dir_.file("missing").c_str()), -1);
    EXPECT_EQ(QUIL_Rename(nullptr, dir_.file("doc").c_str()), -1);
    EXPECT_EQ(QUIL_Rename(dir_.file("doc").c_str(), nullptr), -1);
    EXPECT_EQ(QUIL_Remove(nullptr), -1);
}

TEST_F(AdapterPlatform, FileNamesAreUtf8) {
    const std::string name = "gr\xC3\xBC\xC3\x9F"
                             "e.ini"; // "grüße.ini"
    QUIL_FILE *file = QUIL_Fopen(dir_.file(name).c_str(), "wx");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(QUIL_Fwrite("x", 1, 1, file), 1u);
    EXPECT_EQ(QUIL_Fclose(file), 0);

    EXPECT_TRUE(fs::exists(fs::u8path(dir_.file(name))));
    EXPECT_EQ(QUIL_Remove(dir_.file(name).c_str()), 0);
    EXPECT_FALSE(fs::exists(fs::u8path(dir_.file(name))));
}

TEST_F(AdapterPlatform, AResolvedPathIsAbsoluteAndNamesTheSameFile) {
    wextest::write_file(dir_.file("app.ini"), "x");
    char *resolved = QUIL_ResolvePath(dir_.file("app.ini").c_str(), __LINE__, kUnit);
    ASSERT_NE(resolved, nullptr);
    fs::path path = fs::u8path(resolved);
    QUIL_MemFreeD(resolved, __LINE__, kUnit);

    EXPECT_TRUE(path.is_absolute()) << path.string();
    EXPECT_TRUE(fs::equivalent(path, fs::u8path(dir_.file("app.ini")))) << path.string();
}

TEST(AdapterClock, TheClockCountsNanosecondsSince1970) {
    auto seconds = static_cast<int64_t>(QUIL_GetSystemTime() / kNanosecondsPerSecond);
    auto now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(seconds > now ? seconds - now : now - seconds, kClockTolerance);
}

} // namespace
