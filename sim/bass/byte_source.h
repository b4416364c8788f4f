// Random-access byte sources the readers parse: a file on disk, a block of
// memory, or a window of either. Every read is bounded by the source's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simbass {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to `n` bytes at `offset`; returns how many were read (0 past the end).
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;

    bool ReadExact(std::uint64_t offset, void* buffer, std::size_t n) { return ReadAt(offset, buffer, n) == n; }
    // Up to `n` bytes at `offset` (fewer at the end of the source).
    std::vector<std::uint8_t> Read(std::uint64_t offset, std::size_t n);
};

// A block of memory that the caller keeps alive.
class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A window [offset, offset + length) of another source, cut to its end.
class WindowSource final : public ByteSource {
public:
    WindowSource(ByteSource& inner, std::uint64_t offset, std::uint64_t length);
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    ByteSource& inner_;
    std::uint64_t offset_;
    std::uint64_t size_;
};

// A regular file opened for reading; null when it cannot be opened. The UTF-16
// form is used for BASS_UNICODE paths, the char form (ANSI on Windows, the
// native encoding elsewhere) for the others.
std::unique_ptr<ByteSource> OpenFileSource(const char16_t* path);
std::unique_ptr<ByteSource> OpenFileSource(const char* path);

}  // namespace simbass
