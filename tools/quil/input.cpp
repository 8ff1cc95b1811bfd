// Reading inputs in large blocks, with a progress line for very large ones, and the helpers that
// every command shares.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quil.h"

namespace quil {

namespace {

constexpr size_t kBlockSize = size_t{1} << 20;
constexpr uint64_t kProgressThreshold = uint64_t{256} << 20;
constexpr double kProgressInterval = 0.5; // seconds between progress lines

using Clock = std::chrono::steady_clock;

// Shows bytes done, rate and time left on one terminal line, rewritten in place.
class Progress {
  public:
    Progress(const std::string &name, uint64_t total)
        : name_(name), total_(total), start_(Clock::now()), last_(start_) {}

    void update(uint64_t done) {
        Clock::time_point now = Clock::now();
        if (std::chrono::duration<double>(now - last_).count() < kProgressInterval) {
            return;
        }
        last_ = now;
        double seconds = std::chrono::duration<double>(now - start_).count();
        double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
        std::fprintf(stderr, "\r%s: %llu of %llu MiB, %.0f MiB/s, %.0f s left   ", name_.c_str(),
                     static_cast<unsigned long long>(done >> 20),
                     static_cast<unsigned long long>(total_ >> 20), rate / (1 << 20), left);
        shown_ = true;
    }

    ~Progress() {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
        }
    }

  private:
    std::string name_;
    uint64_t total_;
    Clock::time_point start_, last_;
    bool shown_ = false;
};

} // namespace

void complain(const std::string &message) {
    std::fprintf(stderr, "quil: %s\n", message.c_str());
}

int usage_error(const std::string &command, const std::string &message) {
    complain(command + ": " + message + " (try quil " + command + " --help)");
    return kUsage;
}

bool wants_help(const Args &args) {
    for (const std::string &arg : args) {
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

bool read_blocks(const std::string &name, const BlockSink &sink, std::string &error) {
    bool isStdin = name == "-";
    int fd = isStdin ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    std::unique_ptr<Progress> progress;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<uint64_t>(info.st_size) > kProgressThreshold && isatty(STDERR_FILENO)) {
        progress = std::make_unique<Progress>(name, static_cast<uint64_t>(info.st_size));
    }
    std::unique_ptr<uint8_t[]> block(new uint8_t[kBlockSize]);
    uint64_t done = 0;
    bool ok = true;
    for (;;) {
        ssize_t got = read(fd, block.get(), kBlockSize);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = name + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        sink(block.get(), static_cast<size_t>(got));
        done += static_cast<uint64_t>(got);
        if (progress) {
            progress->update(done);
        }
    }
    if (!isStdin) {
        close(fd);
    }
    return ok;
}

std::string escape_name(const std::string &name, bool &escaped) {
    std::string out;
    escaped = false;
    for (char c : name) {
        switch (c) {
        case '\\':
            out += "\\\\";
            escaped = true;
            break;
        case '\n':
            out += "\\n";
            escaped = true;
            break;
        case '\r':
            out += "\\r";
            escaped = true;
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace quil
