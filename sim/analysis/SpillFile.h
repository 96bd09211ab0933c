#pragma once

// A growing array of plain values kept in an unnamed temporary file rather than in memory, so that a run's
// per-bit records (clock times, decisions) cost disk, not memory, however long the run. Appends are
// buffered; reads see everything appended so far. The file disappears when the object does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ksim {

class SpillFileBytes {
public:
    // folder: where the file lives (it is unlinked at once); empty uses the system's temporary folder.
    // Throws std::runtime_error when no file can be made.
    explicit SpillFileBytes(const std::string& folder);
    ~SpillFileBytes();
    SpillFileBytes(const SpillFileBytes&) = delete;
    SpillFileBytes& operator=(const SpillFileBytes&) = delete;

    void Append(const void* data, std::size_t bytes);
    std::uint64_t Bytes() const { return written_ + buffer_.size(); }
    // Copies bytes [offset, offset + bytes) into out; the range must lie within Bytes().
    void Read(std::uint64_t offset, std::size_t bytes, void* out) const;
    // Writes out what is buffered. Until the next Append, reads change nothing and may come from several
    // threads at once.
    void Flush() const;

private:
    int fd_ = -1;
    mutable std::uint64_t written_ = 0;
    mutable std::vector<unsigned char> buffer_;
};

template <typename T>
class SpillFile {
public:
    explicit SpillFile(const std::string& folder) : bytes_(folder) {}
    void Append(const T* values, std::size_t count) { bytes_.Append(values, count * sizeof(T)); }
    void Append(T value) { bytes_.Append(&value, sizeof(T)); }
    std::size_t Size() const { return static_cast<std::size_t>(bytes_.Bytes() / sizeof(T)); }
    void Read(std::size_t first, std::size_t count, T* out) const { bytes_.Read(first * sizeof(T), count * sizeof(T), out); }
    void Flush() const { bytes_.Flush(); }  // see SpillFileBytes::Flush

private:
    SpillFileBytes bytes_;
};

}  // namespace ksim
