// Real configuration files: each loads (or fails with its documented code) as reading it line by
// line does, lists its sections and finds a value, and comes back unchanged after a save that
// appends a section.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

using wextest::Doc;
using wextest::Lines;

// The file, the code of the load, then the code and count of its sections' listing, and a value.
// clang-format off
const std::tuple<const char *, uint32_t, uint32_t, uint32_t, const char *, const char *, const char *> kCorpus[] = {
    {"50-client.cnf", 0, 0, 2, "client", "x", nullptr},
    {"dunstrc", 0, 0, 5, "URGENCY_normal", "timeout", "10"},
    {"fail2ban-firewallcmd-rich-rules.conf", 0, 0, 2, "Definition", "rich-suffix", "<rich-blocktype>"},
    {"fpc-dbase-Makefile.fpc", 0, INI_BAD_LINE, 0, "", "", nullptr},
    {"inih-test.ini", 0, 0, 2, "protocol", "version", "6"},
    {"nasty-600-byte-line.conf", INI_LINE_TOO_LONG, 0, 0, "", "", nullptr},
    {"nasty-bom-xdg-user-dirs.desktop", 0, 0, 1, "desktop entry", "exec", "xdg-user-dirs-update"},
    {"odbc.ini.template", 0, 0, 1, "PostgreSQL test", "Description", "PostgreSQL"},
    {"odbcinst.ini.template", 0, 0, 2, "postgresql unicode", "driver", "psqlodbcw.so"},
    {"pdo.ini", 0, INI_NO_SECTION, 0, "s", "extension", nullptr},
    {"pg_dump@.service", 0, 0, 2, "Service", "Environment", "\"KEEP=3\""},
    {"php.ini-development", 0, 0, 35, "ldap", "LDAP.max_links", "-1"},
    {"qhelloworld_uiq3_emu.ini", 0, 0, 5, "fpc", "RTLUnitsDir", "C:\\Programas\\fpc21\\rtl\\units\\i386-symbian"},
    {"supervisord.conf", 0, 0, 5, "unix_http_server", "file", "/var/run/supervisor.sock"},
    {"vim.desktop", 0, 0, 1, "Desktop Entry", "Exec", "vim %F"}};
// clang-format on

TEST(IniCorpus, EveryFileLoadsListsFindsAndSavesAsItShould) {
    for (const auto &[file, loadCode, listCode, sections, section, key, value] : kCorpus) {
        SCOPED_TRACE(file);
        Doc d(wextest::read_file(wextest::data_path(std::string("ini/") + file)));
        ASSERT_EQ(d.loaded, loadCode);
        if (loadCode != QUIL_SUCCESS) {
            EXPECT_TRUE(wextest::is_all_zero(d.doc));
            continue;
        }
        Lines lines;
        uint32_t physLines = 0;
        EXPECT_EQ(wextest::read_line_by_line(d.path, &lines, &physLines), QUIL_SUCCESS);
        EXPECT_EQ(d.lines(), lines);
        EXPECT_EQ(d.doc.physLineCount, physLines);

        uint32_t count = 0;
        char **list = nullptr;
        EXPECT_EQ(QUIL_Ini_GetSections(d.get(), &count, &list), listCode);
        EXPECT_EQ(wextest::take_list(list).size(), sections);
        char *found = nullptr;
        EXPECT_EQ(QUIL_Ini_GetValue(d.get(), section, key, &found) == QUIL_SUCCESS,
                  value != nullptr);
        EXPECT_STREQ(found, value);
        QUIL_MemFreeD(found, __LINE__, "tests/ini_corpus_test");
        if (listCode == INI_BAD_LINE) {
            continue; // no edit gets past a line that is no INI line
        }

        ASSERT_EQ(QUIL_Ini_SetValue(d.get(), "wex", "k", "v"), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_Close(d.path.c_str(), d.get()), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_Load(d.path.c_str(), d.get()), QUIL_SUCCESS);
        lines.insert(lines.end(), {"[wex]\n", "k=v\n"});
        EXPECT_EQ(d.lines(), lines);
    }
}

} // namespace
