#include "api/plugin_state.h"

namespace vellum {

void CurrentPath::Set(std::u16string_view path) {
    platform::ScopedLock hold(lock_);
    path_.assign(path);
}

std::u16string CurrentPath::Get() const {
    platform::ScopedLock hold(lock_);
    return path_;
}

PluginState& State() {
    static PluginState instance;
    return instance;
}

}  // namespace vellum
