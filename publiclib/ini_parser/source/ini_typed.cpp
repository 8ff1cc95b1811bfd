// INI documents, typed values: a value text read as a 64-bit integer, a double or a boolean, and
// the getters that look a value up as QUIL_Ini_GetValue does and read it so. The readers take
// the whole text or nothing, never clamp, allocate nothing and ignore the C locale.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace {

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_typed";

constexpr uint64_t kMostNegativeMagnitude = uint64_t{1} << 63; // |INT64_MIN|

// An integer text without its sign: the digits and their base.
struct Digits {
    const char *begin;
    const char *end;
    int base;
};

Digits digits_of(const char *text) {
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *begin = hex ? text + 2 : text;
    return {begin, begin + std::strlen(begin), hex ? 16 : 10};
}

// Reads digits whole into *magnitude: INI_WRONG_TYPE unless they are one or more digits of their
// base and nothing else (from_chars takes no sign for an unsigned type), INI_OUT_OF_RANGE above
// UINT64_MAX.
uint32_t read_magnitude(Digits digits, uint64_t *magnitude) {
    if (digits.begin == digits.end) {
        return INI_WRONG_TYPE;
    }
    auto [end, error] = std::from_chars(digits.begin, digits.end, *magnitude, digits.base);
    if (end != digits.end) {
        return INI_WRONG_TYPE;
    }
    return error == std::errc::result_out_of_range ? INI_OUT_OF_RANGE : QUIL_SUCCESS;
}

// The signed value of a magnitude, or INI_OUT_OF_RANGE when int64_t cannot hold it.
uint32_t apply_sign(uint64_t magnitude, bool negative, int64_t *value) {
    if (magnitude > (negative ? kMostNegativeMagnitude : kMostNegativeMagnitude - 1)) {
        return INI_OUT_OF_RANGE;
    }
    // Negated in unsigned arithmetic, where 2^63 does not overflow; int64_t is two's complement,
    // so these bits are the value.
    uint64_t bits = negative ? 0 - magnitude : magnitude;
    std::memcpy(value, &bits, sizeof bits);
    return QUIL_SUCCESS;
}

const char *skip_digits(const char *p) {
    while (*p >= '0' && *p <= '9') {
        ++p;
    }
    return p;
}

const char *skip_sign(const char *p) {
    return *p == '+' || *p == '-' ? p + 1 : p;
}

// Whether text is [sign] digits [. digits] [e|E [sign] digits] with a digit in the mantissa:
// what from_chars would read beyond that (inf, nan, hex) is refused before it sees the text.
bool is_decimal_number(const char *text) {
    const char *p = skip_sign(text);
    const char *integerEnd = skip_digits(p);
    const char *mantissaEnd = integerEnd;
    bool anyDigit = integerEnd != p;
    if (*integerEnd == '.') {
        mantissaEnd = skip_digits(integerEnd + 1);
        anyDigit = anyDigit || mantissaEnd != integerEnd + 1;
    }
    if (!anyDigit) {
        return false;
    }
    p = mantissaEnd;
    if (*p == 'e' || *p == 'E') {
        const char *exponent = skip_sign(p + 1);
        p = skip_digits(exponent);
        if (p == exponent) {
            return false;
        }
    }
    return *p == '\0';
}

struct BoolWord {
    const char *word;
    uint32_t value;
};

constexpr BoolWord kBoolWords[] = {{"true", 1}, {"false", 0}, {"yes", 1}, {"no", 0},
                                   {"on", 1},   {"off", 0},   {"1", 1},   {"0", 0}};

// Looks the value up as QUIL_Ini_GetValue does and reads it with parse; *value is written only
// when both succeed, and the looked-up text is released on every path.
template <typename T>
uint32_t get_typed(IniFile *doc, const char *section, const char *key, T *value,
                   uint32_t (*parse)(const char *, T *)) {
    if (value == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    char *text = nullptr;
    uint32_t result = QUIL_Ini_GetValue(doc, section, key, &text);
    if (result == QUIL_SUCCESS) {
        result = text == nullptr ? INI_WRONG_TYPE : parse(text, value);
    }
    QUIL_MemFreeD(text, __LINE__, kUnit);
    return result;
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_ParseInt64(const char *text, int64_t *value) {
    if (text == nullptr || value == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    bool negative = *text == '-';
    uint64_t magnitude = 0;
    uint32_t result = read_magnitude(digits_of(skip_sign(text)), &magnitude);
    return result == QUIL_SUCCESS ? apply_sign(magnitude, negative, value) : result;
}

uint32_t QUIL_Ini_ParseUint64(const char *text, uint64_t *value) {
    if (text == nullptr || value == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    uint64_t magnitude = 0;
    uint32_t result = read_magnitude(digits_of(text), &magnitude);
    if (result == QUIL_SUCCESS) {
        *value = magnitude;
    }
    return result;
}

uint32_t QUIL_Ini_ParseDouble(const char *text, double *value) {
    if (text == nullptr || value == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    if (!is_decimal_number(text)) {
        return INI_WRONG_TYPE;
    }
    const char *begin = *text == '+' ? text + 1 : text; // from_chars takes no plus sign
    double read = 0;
    // Overflow to infinity and a non-zero text that rounds to zero both come back as out of range.
    auto [end, error] = std::from_chars(begin, begin + std::strlen(begin), read);
    if (error == std::errc::result_out_of_range) {
        return INI_OUT_OF_RANGE;
    }
    if (error != std::errc() || *end != '\0') {
        return INI_WRONG_TYPE;
    }
    *value = read;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_ParseBool(const char *text, uint32_t *value) {
    if (text == nullptr || value == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    for (const BoolWord &word : kBoolWords) {
        if (QUIL_StriCmp(text, word.word) == 0) {
            *value = word.value;
            return QUIL_SUCCESS;
        }
    }
    return INI_WRONG_TYPE;
}

uint32_t QUIL_Ini_GetInt64(IniFile *doc, const char *section, const char *key, int64_t *value) {
    return get_typed(doc, section, key, value, QUIL_Ini_ParseInt64);
}

uint32_t QUIL_Ini_GetUint64(IniFile *doc, const char *section, const char *key, uint64_t *value) {
    return get_typed(doc, section, key, value, QUIL_Ini_ParseUint64);
}

uint32_t QUIL_Ini_GetDouble(IniFile *doc, const char *section, const char *key, double *value) {
    return get_typed(doc, section, key, value, QUIL_Ini_ParseDouble);
}

uint32_t QUIL_Ini_GetBool(IniFile *doc, const char *section, const char *key, uint32_t *value) {
    return get_typed(doc, section, key, value, QUIL_Ini_ParseBool);
}

} // extern "C"
