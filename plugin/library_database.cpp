#include "plugin/library_database.h"

namespace vellum {

void CurrentPath::Set(std::u16string_view path) {
    platform::ScopedLock hold(lock_);
    path_.assign(path);
}

std::u16string CurrentPath::Get() const {
    platform::ScopedLock hold(lock_);
    return path_;
}

LibraryDatabase& Library() {
    static LibraryDatabase instance;
    return instance;
}

}  // namespace vellum
