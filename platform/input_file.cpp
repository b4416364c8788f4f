// InputFile's ownership, the same on every platform; each seam opens, reads
// and closes its own kind of handle.
#include <utility>

#include "platform/seam.h"

namespace vellum::platform {

InputFile::~InputFile() { Close(); }

InputFile::InputFile(InputFile&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void InputFile::Close() noexcept {
    if (handle_ != nullptr) ReleaseHandle(handle_);
    handle_ = nullptr;
}

}  // namespace vellum::platform
