// File access with the C library only: _wfopen/_fseeki64 on Windows, fopen/fseeko
// elsewhere. The file is read while a channel is created and closed again.
#include "sim/bass/byte_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "sim/bass/text_util.h"

namespace simbass {

std::vector<std::uint8_t> ByteSource::Read(std::uint64_t offset, std::size_t n) {
    std::uint64_t size = Size();
    if (offset >= size) return {};
    if (n > size - offset) n = static_cast<std::size_t>(size - offset);
    std::vector<std::uint8_t> out(n);
    out.resize(ReadAt(offset, out.data(), n));
    return out;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= size_) return 0;
    std::size_t avail = size_ - static_cast<std::size_t>(offset);
    if (n > avail) n = avail;
    if (n) std::memcpy(buffer, data_ + offset, n);
    return n;
}

WindowSource::WindowSource(ByteSource& inner, std::uint64_t offset, std::uint64_t length)
    : inner_(inner), offset_(offset), size_(0) {
    std::uint64_t total = inner.Size();
    if (offset < total) size_ = (length == 0 || length > total - offset) ? total - offset : length;
}

std::size_t WindowSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset >= size_) return 0;
    if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
    return inner_.ReadAt(offset_ + offset, buffer, n);
}

namespace {

class FileSource final : public ByteSource {
public:
    FileSource(std::FILE* f, std::uint64_t size) : file_(f), size_(size) {}
    ~FileSource() override { std::fclose(file_); }
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (offset >= size_) return 0;
        if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
        if (n == 0) return 0;
#ifdef _WIN32
        if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return 0;
#else
        if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
#endif
        return std::fread(buffer, 1, n, file_);
    }

private:
    std::FILE* file_;
    std::uint64_t size_;
};

std::unique_ptr<ByteSource> Wrap(std::FILE* f) {
    if (!f) return nullptr;
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
#else
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
#endif
        std::fclose(f);
        return nullptr;
    }
    return std::make_unique<FileSource>(f, static_cast<std::uint64_t>(st.st_size));
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const char16_t* path) {
    if (!path || !path[0]) return nullptr;
#ifdef _WIN32
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");
    return Wrap(_wfopen(reinterpret_cast<const wchar_t*>(path), L"rb"));
#else
    std::string utf8 = Utf16ToUtf8(path, Utf16Length(path, 1u << 20));
    return Wrap(std::fopen(utf8.c_str(), "rb"));
#endif
}

std::unique_ptr<ByteSource> OpenFileSource(const char* path) {
    if (!path || !path[0]) return nullptr;
    return Wrap(std::fopen(path, "rb"));
}

}  // namespace simbass
