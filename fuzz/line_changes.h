// How one text's lines differ from another's, for tests/ini_cases_test.cpp and
// fuzz/ini_document_fuzzer.cpp: the lines the two share at their start and at their end.
#ifndef WEX_LINE_CHANGES_H
#define WEX_LINE_CHANGES_H

#include <cstddef>
#include <string>
#include <vector>

namespace wexfuzz {

struct CommonEnds {
    size_t start; // lines equal from the first on
    size_t end;   // lines equal from the last back, none of them counted in start
};

inline CommonEnds common_ends(const std::vector<std::string> &a,
                              const std::vector<std::string> &b) {
    size_t start = 0;
    while (start < a.size() && start < b.size() && a[start] == b[start]) {
        ++start;
    }
    size_t end = 0;
    while (end < a.size() - start && end < b.size() - start &&
           a[a.size() - 1 - end] == b[b.size() - 1 - end]) {
        ++end;
    }
    return {start, end};
}

} // namespace wexfuzz

#endif
