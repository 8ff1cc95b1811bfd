// quil ini: the subcommands, their options and help, and the commands that only read (get,
// sections, keys, validate), which take no lock.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "ini_document.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace quil {

namespace {

const char kHelp[] =
    "usage: quil ini get FILE SECTION KEY                  print the value (empty line for none)\n"
    "       quil ini get --default TEXT FILE SECTION KEY   TEXT when section or key is missing\n"
    "       quil ini get --type TYPE FILE SECTION KEY      the value as int, uint, float, bool\n"
    "       quil ini get --format sh FILE SECTION          key='value' lines for eval\n"
    "       quil ini get --format lines FILE [SECTION]     [section] key = value lines\n"
    "       quil ini get --format json FILE [SECTION]      a JSON object of sections and keys\n"
    "       quil ini set FILE SECTION KEY [VALUE]          set a value; creates key or section\n"
    "       quil ini set FILE SECTION KEY VALUE [SECTION KEY VALUE]...  several in one save\n"
    "       quil ini del FILE SECTION [KEY]                remove a key, or the whole section\n"
    "       quil ini del FILE SECTION KEY [SECTION KEY]... several keys in one save\n"
    "       quil ini merge FILE [SECTION]                  set every key of the INI text on\n"
    "                                                      standard input in one save\n"
    "       quil ini sections FILE                         section names, in file order\n"
    "       quil ini keys FILE SECTION                     keys of a section, in file order\n"
    "       quil ini validate FILE...                      check the strict grammar\n"
    "set, del and merge take --existing (fail when a section or key is missing) and --wait\n"
    "SECONDS (default 10: how long to wait for another writer of FILE). Options come before\n"
    "FILE; -- ends them. Names compare without regard to ASCII letter case; the last section and\n"
    "the last key of a name win. Edits are all or nothing: FILE is saved through a backup file\n"
    "that replaces it atomically, or not at all. quil ini COMMAND --help tells more.\n";

constexpr double kLongestWaitSeconds = 4294967.0; // the longest wait in ms that a uint32_t holds
const char kSource[] = "tools/quil/ini_commands";

// ---- Options ----

enum OptionBit : unsigned {
    kWaitOption = 1,
    kExistingOption = 2,
    kFormatOption = 4,
    kDefaultOption = 8,
    kTypeOption = 16,
};

struct Subcommand {
    const char *name;
    unsigned options; // the OptionBits it takes
    const char *help;
    int (*run)(const IniOptions &, const Args &);
};

// A type of --type: the value text read by the library and printed normalised.
struct ValueType {
    const char *name;
    const char *noun; // for messages: "'x' is not <noun>"
    uint32_t (*normalise)(const char *text, std::string &printed);
};

// Integers in decimal, a double as the shortest text that reads back as the same double.
template <typename Number, uint32_t (*parse)(const char *, Number *)>
uint32_t as_number(const char *text, std::string &printed) {
    Number value = 0;
    uint32_t result = parse(text, &value);
    char shortest[32];
    printed.assign(shortest, std::to_chars(shortest, shortest + sizeof shortest, value).ptr);
    return result;
}

uint32_t as_bool(const char *text, std::string &printed) {
    uint32_t value = 0;
    uint32_t result = QUIL_Ini_ParseBool(text, &value);
    printed = value != 0 ? "true" : "false";
    return result;
}

constexpr ValueType kValueTypes[] = {
    {"int", "an integer", as_number<int64_t, QUIL_Ini_ParseInt64>},
    {"uint", "an unsigned integer", as_number<uint64_t, QUIL_Ini_ParseUint64>},
    {"float", "a floating-point number", as_number<double, QUIL_Ini_ParseDouble>},
    {"bool", "a boolean", as_bool}};

const ValueType *find_value_type(const std::string &name) {
    for (const ValueType &type : kValueTypes) {
        if (name == type.name) {
            return &type;
        }
    }
    return nullptr;
}

bool parse_wait(const std::string &text, uint32_t &waitMs) {
    char *end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > kLongestWaitSeconds) {
        return false;
    }
    waitMs = static_cast<uint32_t>(seconds * 1000 + 0.5);
    return true;
}

// The value of an option given as "--name=value" or as "--name value" (taking the next argument).
std::optional<std::string> option_value(const Args &args, size_t &i, const std::string &name) {
    const std::string &arg = args[i];
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        return arg.substr(name.size() + 1);
    }
    if (arg == name && i + 1 < args.size()) {
        return args[++i];
    }
    return std::nullopt;
}

// Reads one option at args[i] (advancing i past a separate value) into options; false when it
// is not an option sub takes or its value is wrong.
bool take_option(const Subcommand &sub, const Args &args, size_t &i, IniOptions &options) {
    if ((sub.options & kExistingOption) != 0 && args[i] == "--existing") {
        options.existing = true;
        return true;
    }
    if ((sub.options & kWaitOption) != 0 && args[i].rfind("--wait", 0) == 0) {
        std::optional<std::string> value = option_value(args, i, "--wait");
        return value && parse_wait(*value, options.waitMs);
    }
    if ((sub.options & kFormatOption) != 0 && args[i].rfind("--format", 0) == 0) {
        std::optional<std::string> value = option_value(args, i, "--format");
        options.format = value.value_or("");
        return options.format == "sh" || options.format == "lines" || options.format == "json";
    }
    if ((sub.options & kDefaultOption) != 0 && args[i].rfind("--default", 0) == 0) {
        options.fallback = option_value(args, i, "--default");
        return options.fallback.has_value();
    }
    if ((sub.options & kTypeOption) != 0 && args[i].rfind("--type", 0) == 0) {
        options.type = option_value(args, i, "--type").value_or("");
        return find_value_type(options.type) != nullptr;
    }
    return false;
}

// Runs sub with the options that lead args (up to "--" or the first argument that does not start
// with "-") taken out; --help prints its help.
int run_subcommand(const Subcommand &sub, const Args &args) {
    IniOptions options;
    size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        if (args[i] == "--") {
            ++i;
            break;
        }
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(sub.help, stdout);
            return kOk;
        }
        std::string given = args[i];
        if (!take_option(sub, args, i, options)) {
            return usage_error(std::string("ini ") + sub.name, "bad option '" + given + "'");
        }
    }
    return sub.run(options, Args(args.begin() + static_cast<std::ptrdiff_t>(i), args.end()));
}

// ---- Reading ----

// Checks the number of arguments, loads the file named first and runs body on the document; a
// usage or load failure ends the command with its status.
template <typename Body>
int with_document(const Args &args, size_t least, size_t most, const char *command,
                  const char *expects, Body body) {
    if (args.size() < least || args.size() > most) {
        return usage_error(command, expects);
    }
    Document doc(args[0]);
    if (int status = doc.load(); status != kOk) {
        return status;
    }
    return body(doc);
}

// A name as names compare: ASCII letters in lower case.
std::string folded(std::string name) {
    for (char &c : name) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return name;
}

// Hands a list of names from the library to visit, each name once (the first spelling of names
// equal without regard to ASCII letter case), and releases the list.
template <typename Visit> int each_name_once(char **list, uint32_t count, Visit visit) {
    std::set<std::string> seen;
    int status = kOk;
    for (uint32_t i = 0; i < count && status == kOk; ++i) {
        if (seen.insert(folded(list[i])).second) {
            status = visit(std::string(list[i]));
        }
    }
    QUIL_Ini_FreeList(list);
    return status;
}

using Value = std::optional<std::string>; // none for a key without a value

// Looks the value of key in section up; returns the library's code.
uint32_t look_up(Document &doc, const std::string &section, const std::string &key, Value &value) {
    char *text = nullptr;
    uint32_t result = QUIL_Ini_GetValue(doc.get(), section.c_str(), key.c_str(), &text);
    if (text != nullptr) {
        value = text;
    }
    QUIL_MemFreeD(text, __LINE__, kSource);
    return result;
}

// The value of key in section; a failed lookup is reported.
int get_value(Document &doc, const std::string &section, const std::string &key, Value &value) {
    uint32_t result = look_up(doc, section, key, value);
    return result == QUIL_SUCCESS ? kOk : doc.report(result, section, key);
}

// Hands every key of section (its last header) with its value to visit; a section without keys
// hands none.
template <typename Visit> int each_value(Document &doc, const std::string &section, Visit visit) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t result = QUIL_Ini_GetKeys(doc.get(), section.c_str(), &count, &list);
    if (result == INI_NO_KEY) {
        return kOk;
    }
    if (result != QUIL_SUCCESS) {
        return doc.report(result, section, "");
    }
    return each_name_once(list, count, [&](const std::string &key) {
        Value value;
        int status = get_value(doc, section, key, value);
        return status == kOk ? visit(key, value) : status;
    });
}

bool is_shell_name(const std::string &name) {
    auto letter = [](char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    for (char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

// text in single quotes for a POSIX shell: every byte is literal there but the quote itself,
// which closes the quotes, is given escaped and opens them again.
std::string shell_quoted(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int print_shell_assignments(Document &doc, const std::string &section) {
    return each_value(doc, section, [&](const std::string &key, const Value &value) {
        if (is_shell_name(key)) {
            std::printf("%s=%s\n", key.c_str(), shell_quoted(value.value_or("")).c_str());
        } else {
            complain(doc.path() + ": [" + section + "] " + key +
                     ": not a shell variable name, skipped");
        }
        return kOk;
    });
}

int print_grep_lines(Document &doc, const std::string &section) {
    return each_value(doc, section, [&](const std::string &key, const Value &value) {
        std::printf("[%s] %s = %s\n", section.c_str(), key.c_str(), value.value_or("").c_str());
        return kOk;
    });
}

// Hands every section name to visit, each once, in file order; a file without sections hands
// none.
template <typename Visit> int each_section(Document &doc, Visit visit) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t result = QUIL_Ini_GetSections(doc.get(), &count, &list);
    if (result == INI_NO_SECTION || result == INI_NO_LINES) {
        return kOk;
    }
    if (result != QUIL_SUCCESS) {
        return doc.report(result, "", "");
    }
    return each_name_once(list, count, visit);
}

int print_every_section(Document &doc) {
    return each_section(doc,
                        [&](const std::string &section) { return print_grep_lines(doc, section); });
}

// A JSON object of members, each "name": value on a line of its own, already indented one step
// deeper than the object's closing brace.
std::string json_object(const std::vector<std::string> &members, const std::string &indent) {
    if (members.empty()) {
        return "{}";
    }
    std::string object = "{";
    for (const std::string &member : members) {
        object += (object.size() == 1 ? "\n" : ",\n") + member;
    }
    return object + "\n" + indent + "}";
}

// Appends section as a member of the top-level object: an object of its keys and values.
int add_json_section(Document &doc, const std::string &section, std::vector<std::string> &members) {
    std::vector<std::string> keys;
    int status = each_value(doc, section, [&](const std::string &key, const Value &value) {
        keys.push_back("    " + json_string(key) + ": " + (value ? json_string(*value) : "null"));
        return kOk;
    });
    members.push_back("  " + json_string(section) + ": " + json_object(keys, "  "));
    return status;
}

// Prints every section, or the one named only, as one JSON object, or nothing when a lookup fails.
// A section is named as the file first spells it, also when only spells it otherwise.
int print_json(Document &doc, const Value &only) {
    std::vector<std::string> members;
    bool found = false;
    int status = each_section(doc, [&](const std::string &section) -> int {
        if (only && folded(section) != folded(*only)) {
            return kOk;
        }
        found = true;
        return add_json_section(doc, section, members);
    });
    if (status == kOk && only && !found) {
        status = doc.report(INI_NO_SECTION, *only, "");
    }
    if (status == kOk) {
        std::printf("%s\n", json_object(members, "").c_str());
    }
    return status;
}

int get_formatted(const IniOptions &options, const Args &args) {
    if (options.format == "sh") {
        return with_document(args, 2, 2, "ini get", "--format sh expects FILE SECTION",
                             [&](Document &doc) { return print_shell_assignments(doc, args[1]); });
    }
    if (options.format == "json") {
        return with_document(
            args, 1, 2, "ini get", "--format json expects FILE [SECTION]", [&](Document &doc) {
                return print_json(doc, args.size() == 2 ? Value(args[1]) : Value());
            });
    }
    return with_document(
        args, 1, 2, "ini get", "--format lines expects FILE [SECTION]", [&](Document &doc) {
            return args.size() == 2 ? print_grep_lines(doc, args[1]) : print_every_section(doc);
        });
}

// Prints value read as type, normalised; a key without a value or a text of another type fails.
int print_typed(Document &doc, const ValueType &type, const std::string &section,
                const std::string &key, const Value &value) {
    std::string where = doc.path() + ": [" + section + "] " + key + ": ";
    if (!value) {
        complain(where + "has no value, not " + type.noun);
        return kNotFound;
    }
    std::string printed;
    uint32_t result = type.normalise(value->c_str(), printed);
    if (result != QUIL_SUCCESS) {
        const char *problem = result == INI_OUT_OF_RANGE ? "' is out of range for " : "' is not ";
        complain(where + "'" + *value + problem + type.noun);
        return kNotFound;
    }
    std::printf("%s\n", printed.c_str());
    return kOk;
}

bool is_missing(uint32_t result) {
    return result == INI_NO_SECTION || result == INI_NO_KEY || result == INI_NO_LINES;
}

int ini_get(const IniOptions &options, const Args &args) {
    if (!options.format.empty()) {
        if (options.fallback || !options.type.empty()) {
            return usage_error("ini get", "--format takes neither --default nor --type");
        }
        return get_formatted(options, args);
    }
    return with_document(
        args, 3, 3, "ini get", "expects FILE SECTION KEY", [&](Document &doc) -> int {
            Value value;
            uint32_t result = look_up(doc, args[1], args[2], value);
            if (options.fallback && is_missing(result)) {
                std::printf("%s\n", options.fallback->c_str());
                return kOk;
            }
            if (result != QUIL_SUCCESS) {
                return doc.report(result, args[1], args[2]);
            }
            if (options.type.empty()) {
                std::printf("%s\n", value.value_or("").c_str());
                return kOk;
            }
            return print_typed(doc, *find_value_type(options.type), args[1], args[2], value);
        });
}

void print_list(char **list, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        std::printf("%s\n", list[i]);
    }
    QUIL_Ini_FreeList(list);
}

int ini_sections(const IniOptions &, const Args &args) {
    return with_document(args, 1, 1, "ini sections", "expects FILE", [&](Document &doc) -> int {
        uint32_t count = 0;
        char **list = nullptr;
        uint32_t result = QUIL_Ini_GetSections(doc.get(), &count, &list);
        if (result == INI_NO_SECTION || result == INI_NO_LINES) {
            return kOk; // a file without sections lists none
        }
        if (result != QUIL_SUCCESS) {
            return doc.report(result, "", "");
        }
        print_list(list, count);
        return kOk;
    });
}

int ini_keys(const IniOptions &, const Args &args) {
    return with_document(args, 2, 2, "ini keys", "expects FILE SECTION", [&](Document &doc) -> int {
        uint32_t count = 0;
        char **list = nullptr;
        uint32_t result = QUIL_Ini_GetKeys(doc.get(), args[1].c_str(), &count, &list);
        if (result == INI_NO_KEY) {
            return kOk; // the section exists and holds no key
        }
        if (result != QUIL_SUCCESS) {
            return doc.report(result, args[1], "");
        }
        print_list(list, count);
        return kOk;
    });
}

const std::map<uint32_t, const char *> kValidationProblems = {
    {INI_KEY_BEFORE_SECTION, "key line before the first section header"},
    {INI_BAD_SECTION, "malformed section header"},
    {INI_BAD_KEY, "key line without a key, or a key with a blank"},
    {INI_BAD_LINE, "neither a section header, a key line, a comment nor a blank line"},
    {INI_BAD_VALUE_LIST, "malformed value list"},
    {INI_BAD_COMMENT, "comment semicolon not preceded by a blank"},
};

int validate_one(const std::string &path) {
    Document doc(path, 0);
    if (int status = doc.load(); status != kOk) {
        return status;
    }
    uint32_t slot = 0;
    uint32_t result = QUIL_Ini_Validate(doc.get(), &slot);
    if (result == QUIL_SUCCESS || result == INI_NO_LINES) {
        return kOk; // an empty document has nothing to refuse
    }
    auto problem = kValidationProblems.find(result);
    std::vector<uint32_t> starts = logical_line_starts(path);
    uint32_t line = slot >= 1 && slot <= starts.size() ? starts[slot - 1] : slot;
    std::fprintf(stderr, "%s:%u: %s\n", path.c_str(), line,
                 problem != kValidationProblems.end() ? problem->second : "invalid line");
    return kNotFound;
}

int ini_validate(const IniOptions &, const Args &args) {
    if (args.empty()) {
        return usage_error("ini validate", "expects FILE...");
    }
    int status = kOk;
    for (const std::string &path : args) {
        int one = validate_one(path);
        status = one > status ? one : status;
    }
    return status;
}

// ---- The table ----

const char kGetHelp[] =
    "usage: quil ini get [--default TEXT] [--type int|uint|float|bool] FILE SECTION KEY\n"
    "       quil ini get --format sh FILE SECTION\n"
    "       quil ini get --format lines FILE [SECTION]\n"
    "       quil ini get --format json FILE [SECTION]\n"
    "Prints the value of KEY in SECTION and a newline (an empty line for a key without a value).\n"
    "  --default TEXT  print TEXT instead (exit status 0) when the section or the key is missing\n"
    "  --type TYPE     print the value read as TYPE, or fail with exit status 1: int (signed\n"
    "                  64-bit) and uint (unsigned) as decimal or 0x hexadecimal digits, printed\n"
    "                  in decimal; float as [sign]digits[.digits][e[sign]digits], printed as the\n"
    "                  shortest text that reads back the same; bool as true, yes, on, 1 or\n"
    "                  false, no, off, 0 in any letter case, printed as true or false. A value\n"
    "                  out of range fails too. The text of --default is printed as given.\n"
    "--format sh prints every key of SECTION as key='value', which a POSIX shell can eval: the\n"
    "value is quoted byte for byte; keys that are no shell variable names are skipped with a\n"
    "warning. --format lines prints \"[section] key = value\" for every key of SECTION, or of\n"
    "every section, for grep. --format json prints one JSON object of the sections (or of\n"
    "SECTION alone), each an object of the keys that --format lines prints, in file order, with\n"
    "the values as strings and null for a key without a value; bytes that are not UTF-8 appear\n"
    "as \\udc80..\\udcff, which Python's surrogateescape turns back into the bytes. Takes no\n"
    "lock. Exit status 1 when the section or key is missing.\n";

const char kSetHelp[] =
    "usage: quil ini set [--existing] [--wait SECONDS] FILE SECTION KEY [VALUE]\n"
    "       quil ini set [--existing] [--wait SECONDS] FILE SECTION KEY VALUE [SECTION KEY "
    "VALUE]...\n"
    "Sets KEY in SECTION to VALUE (without VALUE: a key without a value). Only the old value's\n"
    "bytes change; a new key goes after a commented-out line of it or after the section's last\n"
    "key, laid out as the lines around it; a new section goes to the end of FILE. Several groups\n"
    "are applied in one save, all or nothing: a value that would not read back as given refuses\n"
    "the whole batch (exit status 1, FILE untouched).\n"
    "  --existing      fail (exit status 1, FILE untouched) when a section or key is missing\n"
    "  --wait SECONDS  wait at most this long for another writer of FILE (default 10); then fail\n"
    "                  with exit status 3 and change nothing\n";

const char kDelHelp[] =
    "usage: quil ini del [--existing] [--wait SECONDS] FILE SECTION\n"
    "       quil ini del [--existing] [--wait SECONDS] FILE SECTION KEY [SECTION KEY]...\n"
    "Removes every section named SECTION with all its lines, or every line of each KEY from\n"
    "every section of its name, in one save. A missing section or key fails the whole command\n"
    "(exit status 1, FILE untouched), with or without --existing.\n"
    "  --wait SECONDS  wait at most this long for another writer of FILE (default 10); then fail\n"
    "                  with exit status 3 and change nothing\n";

const char kMergeHelp[] =
    "usage: quil ini merge [--existing] [--wait SECONDS] FILE [SECTION] < INI-TEXT\n"
    "Sets every key of the INI text on standard input in FILE, in its section there, in one save\n"
    "and all or nothing; keys before the input's first header go to SECTION (without SECTION they\n"
    "are an error), and a header alone creates its section. Comments of the input are not copied;\n"
    "the comments and layout of FILE are kept.\n"
    "  --existing      fail (exit status 1, FILE untouched) when a section or key is missing\n"
    "  --wait SECONDS  wait at most this long for another writer of FILE (default 10); then fail\n"
    "                  with exit status 3 and change nothing\n";

const char kSectionsHelp[] = "usage: quil ini sections FILE\n"
                             "Prints the section names of FILE, one a line, in file order.\n";

const char kKeysHelp[] = "usage: quil ini keys FILE SECTION\n"
                         "Prints the keys of SECTION, one a line, in file order.\n";

const char kValidateHelp[] =
    "usage: quil ini validate FILE...\n"
    "Checks every FILE against the strict grammar and prints FILE:LINE: problem for the first\n"
    "line of each that fails it (exit status 1).\n";

constexpr unsigned kWriterOptions = kWaitOption | kExistingOption;

constexpr Subcommand kSubcommands[] = {
    {"get", kFormatOption | kDefaultOption | kTypeOption, kGetHelp, ini_get},
    {"set", kWriterOptions, kSetHelp, ini_set},
    {"del", kWriterOptions, kDelHelp, ini_del},
    {"merge", kWriterOptions, kMergeHelp, ini_merge},
    {"keys", 0, kKeysHelp, ini_keys},
    {"sections", 0, kSectionsHelp, ini_sections},
    {"validate", 0, kValidateHelp, ini_validate},
};

} // namespace

int run_ini(const Args &args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    Args rest(args.begin() + 1, args.end());
    for (const Subcommand &sub : kSubcommands) {
        if (args[0] == sub.name) {
            return run_subcommand(sub, rest);
        }
    }
    return usage_error("ini", "unknown subcommand '" + args[0] + "'");
}

} // namespace quil