// quil: the command-line tool over wex_publiclib. Shared declarations of its commands.
#ifndef QUIL_TOOL_H
#define QUIL_TOOL_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quil {

// Exit statuses that scripts can rely on.
enum Status : int {
    kOk = 0,
    kNotFound = 1, // not found, or invalid content
    kUsage = 2,
    kSystem = 3, // a file or system error
};

using Args = std::vector<std::string>;

// Writes "quil: message" and a newline to standard error.
void complain(const std::string &message);

// Reports a usage error for command and returns kUsage.
int usage_error(const std::string &command, const std::string &message);

// True when args holds --help; the command then prints its help and returns kOk.
bool wants_help(const Args &args);

// Feeds the bytes of a file (or of standard input for "-") to sink in large blocks. When standard
// error is a terminal and the input is larger than 256 MiB, a progress line shows the bytes
// done, the rate and the time left. Returns false with a message in error when the input cannot
// be opened or read.
using BlockSink = std::function<void(const uint8_t *data, size_t length)>;
bool read_blocks(const std::string &name, const BlockSink &sink, std::string &error);

// A file name as checksum lists write it: backslash, newline and carriage return escaped; escaped
// tells whether anything was (such lines then start with a backslash).
std::string escape_name(const std::string &name, bool &escaped);

// text as a JSON string, quotes included: control bytes escaped, well-formed UTF-8 copied as it
// is, and every other byte as \udcXX (U+DC00 + the byte), which Python's "surrogateescape" error
// handler turns back into that byte.
std::string json_string(const std::string &text);

int run_crc16(const Args &args);
int run_crc32(const Args &args);
int run_md5(const Args &args);
int run_ini(const Args &args);
int run_ip(const Args &args);

} // namespace quil

#endif
