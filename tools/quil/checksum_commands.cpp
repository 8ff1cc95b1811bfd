// quil crc16, crc32 and md5: checksums of files or standard input, and md5 --check.
#include <cstdio>

#include "quil.h"
#include "wex_crc.h"
#include "wex_md5.h"

namespace quil {

namespace {

constexpr size_t kDigestBytes = 16;
constexpr size_t kDigestHex = 2 * kDigestBytes;

// One checksum command: its help text and how it computes the hex value of an input.
struct Checksum {
    const char *help;
    std::function<std::string(const std::string &name, std::string &error)> compute;
};

std::string hex(const uint8_t *bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

// The CRC of an input through the library's accumulating form, as fixed-width lowercase hex.
template <typename Value, uint32_t (*accumulate)(Value, const void *, uint32_t, Value *)>
std::string crc_of(const std::string &name, std::string &error) {
    Value crc = 0;
    bool ok = read_blocks(
        name,
        [&crc](const uint8_t *data, size_t length) {
            accumulate(crc, data, static_cast<uint32_t>(length), &crc);
        },
        error);
    char text[2 * sizeof(Value) + 1];
    std::snprintf(text, sizeof text, "%0*x", static_cast<int>(2 * sizeof(Value)),
                  static_cast<unsigned>(crc));
    return ok ? text : "";
}

std::string md5_of(const std::string &name, std::string &error) {
    MD5Context context;
    QUIL_MD5_Init(&context);
    bool ok = read_blocks(
        name,
        [&context](const uint8_t *data, size_t length) {
            QUIL_MD5_Update(&context, data, static_cast<uint32_t>(length));
        },
        error);
    uint8_t digest[kDigestBytes];
    QUIL_MD5_Final(digest, &context);
    return ok ? hex(digest, kDigestBytes) : "";
}

// Prints "value  name" for each input (standard input without names), as md5sum does.
int print_checksums(const Checksum &checksum, const Args &args) {
    Args names = args.empty() ? Args{"-"} : args;
    int status = kOk;
    for (const std::string &name : names) {
        std::string error;
        std::string value = checksum.compute(name, error);
        if (!error.empty()) {
            complain(error);
            status = kSystem;
            continue;
        }
        bool escaped = false;
        std::string shown = escape_name(name, escaped);
        std::printf("%s%s  %s\n", escaped ? "\\" : "", value.c_str(), shown.c_str());
    }
    return status;
}

bool is_hex_digest(const std::string &text) {
    if (text.size() != kDigestHex) {
        return false;
    }
    for (char c : text) {
        bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit) {
            return false;
        }
    }
    return true;
}

std::string unescape_name(const std::string &name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            char next = name[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += name[i];
        }
    }
    return out;
}

// Splits a checksum line into digest and name; false for a line that is not one.
bool parse_check_line(std::string line, std::string &digest, std::string &name) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    bool escaped = !line.empty() && line[0] == '\\';
    if (escaped) {
        line.erase(0, 1);
    }
    if (line.size() < kDigestHex + 3 || line[kDigestHex] != ' ' ||
        (line[kDigestHex + 1] != ' ' && line[kDigestHex + 1] != '*')) {
        return false;
    }
    digest = line.substr(0, kDigestHex);
    name = line.substr(kDigestHex + 2);
    if (escaped) {
        name = unescape_name(name);
    }
    return is_hex_digest(digest);
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return text;
}

void warn_count(size_t count, const char *one, const char *many) {
    if (count != 0) {
        std::fprintf(stderr, "quil: WARNING: %zu %s\n", count, count == 1 ? one : many);
    }
}

// Verifies every "digest  name" line of the list; prints "name: OK" or "name: FAILED".
int check_md5_list(const std::string &listName) {
    std::string text, error;
    bool read = read_blocks(
        listName,
        [&text](const uint8_t *data, size_t length) {
            text.append(reinterpret_cast<const char *>(data), length);
        },
        error);
    if (!read) {
        complain(error);
        return kSystem;
    }
    size_t malformed = 0, unreadable = 0, mismatched = 0, checked = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        std::string expected, name;
        if (!parse_check_line(line, expected, name)) {
            ++malformed;
            continue;
        }
        ++checked;
        std::string fileError;
        std::string actual = md5_of(name, fileError);
        bool escaped = false;
        std::string shown = escape_name(name, escaped);
        const char *prefix = escaped ? "\\" : "";
        if (!fileError.empty()) {
            complain(fileError);
            std::printf("%s%s: FAILED open or read\n", prefix, shown.c_str());
            ++unreadable;
        } else if (lower(expected) != actual) {
            std::printf("%s%s: FAILED\n", prefix, shown.c_str());
            ++mismatched;
        } else {
            std::printf("%s%s: OK\n", prefix, shown.c_str());
        }
    }
    std::fflush(stdout);
    if (checked == 0) {
        complain(listName + ": no properly formatted MD5 checksum lines found");
        return kNotFound;
    }
    warn_count(malformed, "line is improperly formatted", "lines are improperly formatted");
    warn_count(unreadable, "listed file could not be read", "listed files could not be read");
    warn_count(mismatched, "computed checksum did NOT match", "computed checksums did NOT match");
    if (unreadable != 0) {
        return kSystem;
    }
    return mismatched != 0 || malformed != 0 ? kNotFound : kOk;
}

const Checksum kCrc16{"usage: quil crc16 [FILE...]\n"
                      "Prints the CRC-16 (polynomial 0x1021, start 0, no reflection: XMODEM) of\n"
                      "each FILE, or of standard input without FILE or for \"-\", as four\n"
                      "lowercase hex digits, two blanks and the name.\n",
                      crc_of<uint16_t, QUIL_CRC_Accumulate_16>};
const Checksum kCrc32{"usage: quil crc32 [FILE...]\n"
                      "Prints the CRC-32 (reflected polynomial 0xEDB88320, start 0, no final\n"
                      "inversion) of each FILE or of standard input, as eight lowercase hex\n"
                      "digits, two blanks and the name.\n",
                      crc_of<uint32_t, QUIL_CRC_Accumulate_32>};

const char kMd5Help[] =
    "usage: quil md5 [FILE...]\n"
    "       quil md5 --check LIST\n"
    "Prints the MD5 digest of each FILE, or of standard input without FILE\n"
    "or for \"-\", exactly as md5sum does. With --check, reads \"digest  name\"\n"
    "lines from LIST and reports each file as OK or FAILED.\n";

int run_checksum(const Checksum &checksum, const Args &args) {
    if (wants_help(args)) {
        std::fputs(checksum.help, stdout);
        return kOk;
    }
    return print_checksums(checksum, args);
}

} // namespace

int run_crc16(const Args &args) {
    return run_checksum(kCrc16, args);
}
int run_crc32(const Args &args) {
    return run_checksum(kCrc32, args);
}

int run_md5(const Args &args) {
    if (wants_help(args)) {
        std::fputs(kMd5Help, stdout);
        return kOk;
    }
    if (!args.empty() && (args[0] == "--check" || args[0] == "-c")) {
        if (args.size() != 2) {
            return usage_error("md5", "--check takes one list file");
        }
        return check_md5_list(args[1]);
    }
    return print_checksums(Checksum{kMd5Help, md5_of}, args);
}

} // namespace quil
