#include "sim/analysis/SpillFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace ksim {

namespace {
constexpr std::size_t kBufferBytes = 1 << 20;
}

SpillFileBytes::SpillFileBytes(const std::string& folder) {
    std::string dir = folder;
    if (dir.empty()) dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    std::string pattern = dir + "/.kelvane-spill-XXXXXX";
    fd_ = mkstemp(&pattern[0]);
    if (fd_ < 0) throw std::runtime_error("cannot create a temporary file in " + dir + ": " + std::strerror(errno));
    unlink(pattern.c_str());
    buffer_.reserve(kBufferBytes);
}

SpillFileBytes::~SpillFileBytes() { close(fd_); }

void SpillFileBytes::Append(const void* data, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const std::size_t n = std::min(bytes, kBufferBytes - buffer_.size());
        buffer_.insert(buffer_.end(), p, p + n);
        p += n;
        bytes -= n;
        if (buffer_.size() == kBufferBytes) Flush();
    }
}

void SpillFileBytes::Flush() const {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = pwrite(fd_, buffer_.data() + done, buffer_.size() - done, static_cast<off_t>(written_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("cannot write a temporary file: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    written_ += buffer_.size();
    buffer_.clear();
}

void SpillFileBytes::Read(std::uint64_t offset, std::size_t bytes, void* out) const {
    if (offset + bytes > Bytes()) throw std::runtime_error("read past the end of a temporary file");
    if (offset + bytes > written_) Flush();
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = pread(fd_, p + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("cannot read a temporary file: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace ksim
