// Small helpers shared by the test binaries.
#ifndef WEX_TEST_SUPPORT_H
#define WEX_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "wex_os_adapter.h"

namespace wextest {

// Arms a fault for the n-th call of op from now and disarms it when the scope ends.
class ScopedFault {
  public:
    ScopedFault(QuilAdapterOp op, uint32_t n) : op_(op) { QUIL_Adapter_FailNth(op, n); }
    ~ScopedFault() { QUIL_Adapter_FailNth(op_, 0); }
    ScopedFault(const ScopedFault &) = delete;
    ScopedFault &operator=(const ScopedFault &) = delete;

  private:
    QuilAdapterOp op_;
};

// A fresh directory under the system's temporary directory, removed with everything in it
// when the scope ends.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Path of a file under tests/data.
std::string data_path(const std::string &relative);

// A case of a case file under tests/data: a block of "field: value" lines ("field:" for an empty
// value), in their order. A blank line ends a case; lines that start with '#' are comments. A
// value runs to the end of its line and takes the escapes \r \n \t \\ and \xHH, so that any
// bytes can be written.
struct Case {
    std::string where; // file:line of the case's first field
    std::vector<std::pair<std::string, std::string>> fields;

    // The value of the first field of that name, or fallback when there is none.
    std::string get(const std::string &name, const std::string &fallback = "") const;
    bool has(const std::string &name) const;
};

// The cases of tests/data/<relative>; fails the running test when the file cannot be read.
std::vector<Case> read_cases(const std::string &relative);

// A row of a table under tests/data: one case a line, its fields parted by blanks. A field that
// begins with '"' runs to the next '"' and may hold blanks and the escapes above (\x22 for '"').
// The words behind a row's fields say what the case shows; blank lines and lines that start with
// '#' are no rows.
struct Row {
    std::string where; // file:line
    std::vector<std::string> fields;
};

// The rows of tests/data/<relative>, or only those whose first field is kind; fails the running
// test when the file cannot be read or holds no such row.
std::vector<Row> read_rows(const std::string &relative, const std::string &kind = "");

// Whole-file helpers for test data; they fail the running test when the file cannot be used.
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);
bool file_exists(const std::string &path);

} // namespace wextest

#endif
