// On Windows a file's access is its access list: the adapter gives a new file the list of the
// file it is to replace.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <string>

#include "test_support.h"
#include "wex_os_adapter.h"

namespace {

std::wstring wide(const std::string &path) {
    return std::filesystem::u8path(path).wstring();
}

// The access list of a file in the system's text form, or "" when it cannot be read.
std::wstring access_list(const std::string &path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"";
    }
    LPWSTR text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

TEST(AdapterAccess, TheNewFileGetsTheAccessListOfTheFileItReplaces) {
    wextest::TempDir dir;
    std::string source = dir.file("doc.ini");
    wextest::write_file(source, "old");
    PSECURITY_DESCRIPTOR descriptor = nullptr; // full access for everyone, nothing inherited
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_TRUE(SetFileSecurityW(wide(source).c_str(), DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
    std::wstring wanted = access_list(source);
    ASSERT_NE(wanted, L"");

    std::string target = dir.file("doc123.ibk");
    QUIL_FILE *file = QUIL_Fopen(target.c_str(), "wx");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(access_list(target), wanted);
    EXPECT_EQ(QUIL_CopyFileAccess(source.c_str(), file), 0);
    EXPECT_EQ(QUIL_Fclose(file), 0);
    EXPECT_EQ(access_list(target), wanted);
}

} // namespace
