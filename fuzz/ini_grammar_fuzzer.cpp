// Every function of the INI line grammar on arbitrary text: documented codes only, no read past
// the text's terminator, every extracted string a piece of the text, every out string null after
// a failure, the text unchanged and nothing leaked.
#include <cstring>
#include <string_view>

#include "fuzz_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

using wexfuzz::check;
using wexfuzz::check_code;

// Checks an out string of a parser and gives it back: null after a failure, otherwise null or a
// piece of the text.
void check_piece(char *piece, uint32_t code, std::string_view text) {
    if (code != QUIL_SUCCESS) {
        check(piece == nullptr, "every out string is null after a failure");
        return;
    }
    check(piece == nullptr || text.find(piece) != std::string_view::npos,
          "an extracted string is a piece of the text");
    QUIL_MemFreeD(piece, __LINE__, "ini_grammar_fuzzer");
}

void check_classification(const char *text) {
    uint32_t kind = INI_LINE_UNSET;
    uint32_t code = QUIL_Ini_GetLineType(text, &kind);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_ARGUMENT}, "QUIL_Ini_GetLineType");
    if (code == INI_BAD_ARGUMENT) {
        // The grammar reads past a byte-order mark, so a mark alone is an empty text too.
        bool empty = std::strcmp(text, "") == 0 || std::strcmp(text, "\xEF\xBB\xBF") == 0;
        check(empty && kind == INI_LINE_UNSET, "only an empty text is refused");
    } else {
        check(code == INI_BAD_LINE ? kind == INI_LINE_INVALID : kind < INI_LINE_INVALID,
              "the kind fits the code");
    }
}

void check_parsers(const char *text) {
    std::string_view whole(text);
    char *name = nullptr;
    char *comment = nullptr;
    uint32_t code = QUIL_Ini_ParseSectionLine(text, &name, &comment);
    check_code(code, {QUIL_SUCCESS, INI_BAD_SECTION, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseSectionLine");
    check(code != QUIL_SUCCESS || name != nullptr, "a header has a name");
    check_piece(name, code, whole);
    check_piece(comment, code, whole);

    char *key = nullptr;
    char *value = nullptr;
    comment = nullptr;
    code = QUIL_Ini_ParseKeyLine(text, &key, &value, &comment);
    check_code(code, {QUIL_SUCCESS, INI_BAD_KEY, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseKeyLine");
    check(code != QUIL_SUCCESS || key != nullptr, "a key line has a key");
    check_piece(key, code, whole);
    check_piece(value, code, whole);
    check_piece(comment, code, whole);

    comment = nullptr;
    code = QUIL_Ini_ParseComment(text, &comment);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_NO_MEMORY}, "QUIL_Ini_ParseComment");
    check(code != QUIL_SUCCESS || comment != nullptr, "a comment is handed out");
    check_piece(comment, code, whole);
}

void check_strict_checks(const char *text) {
    check_code(QUIL_Ini_CheckSectionLine(text), {QUIL_SUCCESS, INI_BAD_SECTION},
               "QUIL_Ini_CheckSectionLine");
    check_code(QUIL_Ini_CheckKeyLine(text),
               {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_KEY, INI_BAD_VALUE_LIST, INI_BAD_COMMENT},
               "QUIL_Ini_CheckKeyLine");
}

// The blank skipper and the white trimmer stay between their start and their limit.
void check_scanners(const char *text, size_t length) {
    const char *end = text + length;
    for (const char *start : {text, text + length / 2}) {
        const char *pos = start;
        QUIL_Ini_SkipBlanks(&pos, end);
        check(pos >= start && pos <= end, "skipping blanks stays before the limit");
        check(pos == end || (*pos != ' ' && *pos != '\t'), "skipping blanks stops on a non-blank");
        pos = end;
        QUIL_Ini_TrimBack(&pos, start);
        check(pos >= start && pos <= end, "trimming stays behind the limit");
    }
    check(QUIL_Ini_SafeStrLen(text) == length, "the length of the text is its length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    wexfuzz::ExactText text(bytes, size);
    std::unique_ptr<char[]> copy(new char[size + 1]);
    std::memcpy(copy.get(), text.c_str(), size + 1);

    check_classification(text.c_str());
    check_parsers(text.c_str());
    check_strict_checks(text.c_str());
    check_scanners(text.c_str(), std::strlen(text.c_str()));
    check(std::memcmp(copy.get(), text.c_str(), size + 1) == 0, "the grammar changes no text");
    return 0;
}
