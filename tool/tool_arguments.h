// The tool's command line: a command, its arguments and options, which may
// stand anywhere on the line ("relink --apply D:\a E:\b" and "relink D:\a
// E:\b --apply" are the same).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tool/tool_messages.h"

namespace vellum::tool {

enum class Command { Help, Check, Backup, Relink, RestorePlays };

struct Request {
    Command command = Command::Help;
    // The command's own arguments, in order.
    std::vector<std::u16string> operands;
    std::optional<std::u16string> database;  // --db FILE
    std::optional<std::u16string> from;      // --from OLD
    std::optional<std::u16string> to;        // --to NEW
    bool apply = false;                      // --apply
    bool addMissing = false;                 // --add-missing
};

// A parse: the request, or the one line that says what is wrong.
struct Parsed {
    Request request;
    std::u16string error;  // empty when the line is good
};

// `arguments` leaves out the program's own name.
Parsed ParseArguments(const std::vector<std::u16string>& arguments, Language language);

}  // namespace vellum::tool
