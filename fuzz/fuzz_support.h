// Helpers shared by the fuzzers: property checks that stop the run, the leak check, input texts
// in exactly sized blocks and a scratch directory.
#ifndef WEX_FUZZ_SUPPORT_H
#define WEX_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace wexfuzz {

// Reports a broken property and aborts, so that libFuzzer keeps the input that broke it.
[[noreturn]] void fail(const char *what);

inline void check(bool holds, const char *what) {
    if (!holds) {
        fail(what);
    }
}

// Checks that code is one of the codes an operation documents.
void check_code(uint32_t code, std::initializer_list<uint32_t> documented, const char *operation);

// Checks, when the scope ends, that the adapter holds exactly the blocks it held at its start.
class LiveBlockCheck {
  public:
    LiveBlockCheck();
    ~LiveBlockCheck();
    LiveBlockCheck(const LiveBlockCheck &) = delete;
    LiveBlockCheck &operator=(const LiveBlockCheck &) = delete;

  private:
    uint32_t liveAtStart_;
};

// A copy of bytes in a block of exactly size + 1 bytes, NUL-terminated, so that AddressSanitizer
// reports any read past the terminator. Bytes after an embedded NUL are simply not seen.
class ExactText {
  public:
    ExactText(const uint8_t *bytes, size_t size);
    const char *c_str() const { return text_.get(); }

  private:
    std::unique_ptr<char[]> text_;
};

// A directory for the fuzzer's files, made on first use and removed when the process exits.
const std::string &scratch_directory();

} // namespace wexfuzz

#endif
