// quil: read and edit INI files, compute checksums and parse addresses from the command line.
#include <cstdio>
#include <cstring>

#include "quil.h"

namespace {

const char kHelp[] =
    "usage: quil COMMAND [ARGS...]\n"
    "\n"
    "  quil ini get FILE SECTION KEY          print the value of KEY in SECTION\n"
    "  quil ini get --type T|--default D ..   the value as int, uint, float, bool; D if missing\n"
    "  quil ini get --format sh|lines FILE .. every key of a section for eval, or for grep\n"
    "  quil ini get --format json FILE ..     every key of every section (or one) as JSON\n"
    "  quil ini set FILE SECTION KEY [VALUE]  set values (several groups: one save)\n"
    "  quil ini del FILE SECTION [KEY]        remove keys (several pairs: one save), or a section\n"
    "  quil ini merge FILE [SECTION] < INI    set every key of the INI text on standard input\n"
    "  quil ini sections FILE                 list the section names\n"
    "  quil ini keys FILE SECTION             list the keys of a section\n"
    "  quil ini validate FILE...              check the strict INI grammar\n"
    "  quil crc16 [FILE...]                   CRC-16 (XMODEM) of files or standard input\n"
    "  quil crc32 [FILE...]                   CRC-32 (reflected, not inverted)\n"
    "  quil md5 [FILE...]                     MD5 digests, as md5sum prints them\n"
    "  quil md5 --check FILE                  verify a list of \"digest  name\" lines\n"
    "  quil ip ADDRESS...                     parse IPv4 or IPv6 text with an optional port\n"
    "\n"
    "Every command takes --help. set, del and merge wait for each other (--wait SECONDS).\n"
    "Exit status: 0 success, 1 not found or invalid content, 2 usage error, 3 file or system\n"
    "error (also: another writer held the file past --wait, or changed it meanwhile).\n";

struct Command {
    const char *name;
    int (*run)(const quil::Args &);
};

constexpr Command kCommands[] = {
    {"ini", quil::run_ini}, {"crc16", quil::run_crc16}, {"crc32", quil::run_crc32},
    {"md5", quil::run_md5}, {"ip", quil::run_ip},
};

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return quil::kUsage;
    }
    const char *name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        std::fputs(kHelp, stdout);
        return quil::kOk;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("quil %s\n", QUIL_VERSION);
        return quil::kOk;
    }
    quil::Args args(argv + 2, argv + argc);
    for (const Command &command : kCommands) {
        if (std::strcmp(name, command.name) == 0) {
            return command.run(args);
        }
    }
    quil::complain(std::string("unknown command '") + name + "' (try quil --help)");
    return quil::kUsage;
}
