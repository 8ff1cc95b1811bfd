// quil: texts as JSON strings. Bytes that are not UTF-8 are written as the lone surrogates that
// PEP 383's "surrogateescape" reads back as those bytes, so that no text is lost.
#include <cstdio>

#include "quil.h"

namespace quil {

namespace {

// What may follow a lead byte of a well-formed UTF-8 sequence (the Unicode standard's table):
// the number of bytes after it and the range of the first of them; every later one is 80..BF.
struct Lead {
    size_t follow;
    unsigned low;
    unsigned high;
};

Lead lead_of(unsigned char byte) {
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {1, 0x80, 0xBF};
    }
    if (byte >= 0xE0 && byte <= 0xEF) {
        // E0: no overlong forms; ED: no surrogates
        return {2, byte == 0xE0 ? 0xA0u : 0x80u, byte == 0xED ? 0x9Fu : 0xBFu};
    }
    if (byte >= 0xF0 && byte <= 0xF4) {
        // F0: no overlong forms; F4: nothing above U+10FFFF
        return {3, byte == 0xF0 ? 0x90u : 0x80u, byte == 0xF4 ? 0x8Fu : 0xBFu};
    }
    return {0, 0, 0}; // ASCII stands alone; 80..C1 and F5..FF lead nothing
}

bool in_range(char byte, unsigned low, unsigned high) {
    unsigned value = static_cast<unsigned char>(byte);
    return value >= low && value <= high;
}

// The length of the well-formed UTF-8 sequence of two or more bytes at text[at], or 0.
size_t multibyte_length(const std::string &text, size_t at) {
    Lead lead = lead_of(static_cast<unsigned char>(text[at]));
    if (lead.follow == 0 || text.size() - at <= lead.follow ||
        !in_range(text[at + 1], lead.low, lead.high)) {
        return 0;
    }
    for (size_t i = 2; i <= lead.follow; ++i) {
        if (!in_range(text[at + i], 0x80, 0xBF)) {
            return 0;
        }
    }
    return lead.follow + 1;
}

std::string escaped(const char *format, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, format, byte);
    return text;
}

// An ASCII byte as a JSON string holds it.
std::string ascii_in_json(unsigned char byte) {
    switch (byte) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    default:
        bool control = byte < 0x20 || byte == 0x7F;
        return control ? escaped("\\u%04x", byte) : std::string(1, static_cast<char>(byte));
    }
}

} // namespace

std::string json_string(const std::string &text) {
    std::string json = "\"";
    for (size_t at = 0; at < text.size();) {
        size_t length = multibyte_length(text, at);
        if (length != 0) {
            json.append(text, at, length);
            at += length;
            continue;
        }
        auto byte = static_cast<unsigned char>(text[at++]);
        // U+DC80..U+DCFF stand for the bytes 80..FF that begin no well-formed sequence
        json += byte < 0x80 ? ascii_in_json(byte) : escaped("\\udc%02x", byte);
    }
    return json + "\"";
}

} // namespace quil
