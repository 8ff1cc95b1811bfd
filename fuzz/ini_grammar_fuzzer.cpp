// Every function of the INI line grammar on arbitrary text: documented codes only, no read past
// the text's terminator, every extracted string a piece of the text, every out string null after
// a failure, the text unchanged and nothing leaked.
#include <cstring>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

using wexfuzz::check;
using wexfuzz::check_code;

// Checks the out strings of a parser and gives them back: null after a failure, otherwise null
// or a piece of the text; the first one is never null after a success.
void check_pieces(uint32_t code, std::initializer_list<char *> pieces, std::string_view text) {
    check(code != QUIL_SUCCESS || *pieces.begin() != nullptr,
          "a success hands out its first piece");
    for (char *piece : pieces) {
        check(code == QUIL_SUCCESS ? piece == nullptr || text.find(piece) != std::string_view::npos
                                   : piece == nullptr,
              "an out string is a piece of the text, and null after a failure");
        QUIL_MemFreeD(piece, __LINE__, "fuzz/ini_grammar_fuzzer");
    }
}

void check_grammar(const char *text) {
    uint32_t kind = INI_LINE_UNSET;
    uint32_t code = QUIL_Ini_GetLineType(text, &kind);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_ARGUMENT}, "QUIL_Ini_GetLineType");
    // The grammar reads past a byte-order mark, so a mark alone is an empty text too.
    bool empty = std::strcmp(text, "") == 0 || std::strcmp(text, "\xEF\xBB\xBF") == 0;
    check((code == INI_BAD_ARGUMENT) == empty, "only an empty text is refused");
    check(code == INI_BAD_ARGUMENT ? kind == INI_LINE_UNSET
          : code == INI_BAD_LINE   ? kind == INI_LINE_INVALID
                                   : kind < INI_LINE_INVALID,
          "the kind fits the code");

    // The out strings start as a text of no input's, so that each must be written.
    static char stale[] = "\x01stale";
    char *out[3] = {stale, stale, stale};
    code = QUIL_Ini_ParseSectionLine(text, &out[0], &out[1]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_SECTION, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseSectionLine");
    check_pieces(code, {out[0], out[1]}, text);
    out[0] = out[1] = stale;
    code = QUIL_Ini_ParseKeyLine(text, &out[0], &out[1], &out[2]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_KEY, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseKeyLine");
    check_pieces(code, {out[0], out[1], out[2]}, text);
    out[0] = stale;
    code = QUIL_Ini_ParseComment(text, &out[0]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_NO_MEMORY}, "QUIL_Ini_ParseComment");
    check_pieces(code, {out[0]}, text);

    check_code(QUIL_Ini_CheckSectionLine(text), {QUIL_SUCCESS, INI_BAD_SECTION},
               "QUIL_Ini_CheckSectionLine");
    check_code(QUIL_Ini_CheckKeyLine(text),
               {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_KEY, INI_BAD_VALUE_LIST, INI_BAD_COMMENT},
               "QUIL_Ini_CheckKeyLine");
}

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The blank skipper and the white trimmer stop on their limit (a blank or white byte too) or on
// the first byte they keep, and read nothing past the limit.
void check_scanners(const char *text, size_t length) {
    const char *mid = text + length / 2;
    const char *last = text + (length > 0 ? length - 1 : 0);
    for (auto [from, limit] : {std::pair(text, mid), std::pair(mid, last), std::pair(text, last)}) {
        const char *pos = from;
        QUIL_Ini_SkipBlanks(&pos, limit);
        check(pos >= from && pos <= limit && (pos == limit || (*pos != ' ' && *pos != '\t')),
              "skipping blanks stops on the limit or on a byte not blank");
        pos = limit;
        QUIL_Ini_TrimBack(&pos, from);
        check(pos >= from && pos <= limit && (pos == from || !is_white(*pos)),
              "trimming stops on the limit or on a byte not white");
    }
    check(QUIL_Ini_SafeStrLen(text) == length, "the length of the text is its length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    wexfuzz::ExactText text(bytes, size);
    std::unique_ptr<char[]> copy(new char[size + 1]);
    std::memcpy(copy.get(), text.c_str(), size + 1);
    check_grammar(text.c_str());
    check_scanners(text.c_str(), std::strlen(text.c_str()));
    check(std::memcmp(copy.get(), text.c_str(), size + 1) == 0, "the grammar changes no text");
    return 0;
}
