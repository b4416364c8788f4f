// The commands of the host's script language. Each runs to completion before the next:
// work on the host's state is done on the window thread, while messages a tester would
// send (command, send) and waits (sleep, wait-syncs) go from the robot's own thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

class HostApp;

enum class CommandOutcome { Continue, Quit };

CommandOutcome RunCommand(HostApp& app, const std::string& line);

// A command's handler: false when its arguments do not fit.
using CommandHandler = bool (*)(HostApp& app, std::string_view args);
struct RobotCommand {
    const char* name;
    CommandHandler handler;
};

// The command groups, each defined beside the host part it drives.
const std::vector<RobotCommand>& LifecycleCommands();
const std::vector<RobotCommand>& PlaylistCommands();
const std::vector<RobotCommand>& PlaybackCommands();
const std::vector<RobotCommand>& DialogCommands();

}  // namespace host
