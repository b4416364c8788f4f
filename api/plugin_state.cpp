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

// Never destroyed: a module unloaded without the shut-down event must run no
// SQL and join no thread under the loader lock, and the connection's helper
// thread may still be landing work that is already in its store.
PluginState& State() {
    static PluginState* const instance = new PluginState;
    return *instance;
}

}  // namespace vellum
