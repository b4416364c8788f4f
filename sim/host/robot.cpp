#include "robot.h"

#include "host_app.h"
#include "robot_commands.h"
#include "text.h"

namespace host {

win32::UniqueKernelHandle Robot::Start() {
    return win32::UniqueKernelHandle(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
}

DWORD WINAPI Robot::ThreadMain(void* self) {
    static_cast<Robot*>(self)->Run();
    return 0;
}

bool Robot::ReadScript(std::vector<std::string>& lines) {
    win32::UniqueFile file(CreateFileW(scriptPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

std::string Robot::ExpandFolder(const std::string& line) const {
    std::string folder = Utf8FromWide(app_.Folder());
    std::string out = line;
    for (size_t at = out.find("%DIR%"); at != std::string::npos; at = out.find("%DIR%", at)) {
        out.replace(at, 5, folder);
        at += folder.size();
    }
    return out;
}

void Robot::Run() {
    std::vector<std::string> lines;
    if (!ReadScript(lines)) {
        app_.Log().Error("cannot read the script " + Utf8FromWide(scriptPath_));
    }
    for (const std::string& raw : lines) {
        std::string line(TrimSpaces(raw));
        if (line.empty() || line[0] == '#') continue;
        if (!IsWindow(app_.Window())) break;
        app_.Log().Line("> " + line);
        if (RunCommand(app_, ExpandFolder(line)) == CommandOutcome::Quit) break;
    }
    PostMessageW(app_.Window(), WM_CLOSE, 0, 0);
}

}  // namespace host
