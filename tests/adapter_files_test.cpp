// The adapter's file operations that a safe save relies on: flushing to disk, copying access from
// one file to another and resolving symbolic links. Exclusive creation is tested by the save's
// backup-name tests (ini_write_save_test) and their fault sweeps.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_support.h"
#include "wex_os_adapter.h"

namespace {

constexpr const char *kUnit = "tests/adapter_files_test";

#ifndef _WIN32
mode_t mode_of(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}
#endif

std::string resolved(const std::string &path) {
    char *block = QUIL_ResolvePath(path.c_str(), __LINE__, kUnit);
    EXPECT_NE(block, nullptr);
    std::string text = block == nullptr ? std::string() : std::string(block);
    QUIL_MemFreeD(block, __LINE__, kUnit);
    return text;
}

class AdapterFiles : public testing::Test {
  protected:
    wextest::TempDir dir_;
};

TEST_F(AdapterFiles, FsyncHandsTheBufferedBytesToTheFileAndRefusesANullHandle) {
    EXPECT_EQ(QUIL_Fsync(nullptr), -1);
    QUIL_FILE *file = QUIL_Fopen(dir_.file("f").c_str(), "wx");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(QUIL_Fwrite("abc", 1, 3, file), 3u);

    EXPECT_EQ(QUIL_Fsync(file), 0);
    EXPECT_EQ(wextest::read_file(dir_.file("f")), "abc");
    QUIL_Fclose(file);
}

#ifndef _WIN32
// The save's own tests cover the usual 06x4 modes; here the bits a document rarely has, read
// through a link as a save does.
TEST_F(AdapterFiles, CopyFileAccessGivesTheBitsOfTheFileALinkPointsTo) {
    wextest::write_file(dir_.file("real"), "r");
    ASSERT_EQ(symlink("real", dir_.file("link").c_str()), 0);
    for (mode_t mode : {0604u, 0755u, 0400u}) {
        std::string target = dir_.file("target");
        ASSERT_EQ(chmod(dir_.file("real").c_str(), mode), 0);
        QUIL_FILE *file = QUIL_Fopen(target.c_str(), "wx");
        ASSERT_NE(file, nullptr);

        EXPECT_EQ(QUIL_CopyFileAccess(dir_.file("link").c_str(), file), 0);
        QUIL_Fclose(file);
        EXPECT_EQ(mode_of(target), mode) << std::oct << mode;
        unlink(target.c_str());
    }
}
#endif

TEST_F(AdapterFiles, CopyFileAccessFailsForAMissingSourceAndKeepsTheTargetBits) {
    QUIL_FILE *file = QUIL_Fopen(dir_.file("target").c_str(), "wx");
    ASSERT_NE(file, nullptr);

    EXPECT_EQ(QUIL_CopyFileAccess(dir_.file("missing").c_str(), file), -1);
    EXPECT_EQ(QUIL_CopyFileAccess(nullptr, file), -1);
    EXPECT_EQ(QUIL_CopyFileAccess(dir_.file("target").c_str(), nullptr), -1);
    {
        wextest::ScopedFault fault(QUIL_OP_ACCESS, 1);
        EXPECT_EQ(QUIL_CopyFileAccess(dir_.file("target").c_str(), file), -1);
    }
    QUIL_Fclose(file);
#ifndef _WIN32
    EXPECT_EQ(mode_of(dir_.file("target")), 0600u);
#endif
}

#ifndef _WIN32
TEST_F(AdapterFiles, ResolvePathFollowsChainsOfLinksToTheFile) {
    wextest::write_file(dir_.file("real.ini"), "x");
    ASSERT_EQ(symlink("real.ini", dir_.file("first").c_str()), 0);
    ASSERT_EQ(symlink(dir_.file("first").c_str(), dir_.file("second").c_str()), 0);

    std::string real = resolved(dir_.file("real.ini"));
    EXPECT_EQ(resolved(dir_.file("second")), real);
    EXPECT_EQ(resolved(dir_.file("first")), real);
    EXPECT_EQ(real.substr(real.size() - 9), "/real.ini");
}
#endif

TEST_F(AdapterFiles, ResolvePathGivesAMissingFileBackAsItIs) {
    EXPECT_EQ(resolved(dir_.file("missing.ini")), dir_.file("missing.ini"));
    EXPECT_EQ(QUIL_ResolvePath(nullptr, __LINE__, kUnit), nullptr);
}

} // namespace
