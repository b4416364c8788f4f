#include "plugin/shell_state_win32.h"

namespace vellum {

ShellState& Shell() {
    static ShellState instance;
    return instance;
}

}  // namespace vellum
