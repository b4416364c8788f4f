#include "tool/tool_arguments.h"

#include <cstddef>

namespace vellum::tool {
namespace {

struct CommandShape {
    const char16_t* name;
    Command command;
    std::size_t fewest;
    std::size_t most;
};

constexpr CommandShape kCommands[] = {
    {u"help", Command::Help, 0, 0},
    {u"check", Command::Check, 0, 0},
    {u"backup", Command::Backup, 0, 1},
    {u"relink", Command::Relink, 2, 2},
    {u"restore-plays", Command::RestorePlays, 1, 1},
};

const CommandShape* FindCommand(std::u16string_view name) {
    for (const CommandShape& shape : kCommands)
        if (name == shape.name) return &shape;
    return nullptr;
}

// Which options each command takes (--db is everyone's).
bool Accepts(Command command, std::u16string_view option) {
    if (option == u"--db") return true;
    if (option == u"--apply") return command == Command::Relink || command == Command::RestorePlays;
    return command == Command::RestorePlays;
}

class Parser {
public:
    Parser(const std::vector<std::u16string>& arguments, Language language)
        : arguments_(arguments), language_(language) {}

    Parsed Run() {
        std::vector<std::u16string> words;
        for (index_ = 0; index_ < arguments_.size() && parsed_.error.empty(); ++index_) {
            const std::u16string& word = arguments_[index_];
            if (word == u"--help" || word == u"-h" || word == u"/?") help_ = true;
            else if (word.size() > 2 && word.compare(0, 2, u"--") == 0) Option(word);
            else words.push_back(word);
        }
        if (help_) {
            parsed_ = Parsed();
            return parsed_;
        }
        if (parsed_.error.empty()) Shape(words);
        return parsed_;
    }

private:
    void Fail(Message message, std::initializer_list<std::u16string_view> values) {
        if (parsed_.error.empty()) parsed_.error = Text(message, language_, values);
    }

    void Option(const std::u16string& option) {
        Request& request = parsed_.request;
        seen_.push_back(option);
        if (option == u"--apply") {
            request.apply = true;
        } else if (option == u"--add-missing") {
            request.addMissing = true;
        } else if (option == u"--db") {
            Value(option, request.database);
        } else if (option == u"--from") {
            Value(option, request.from);
        } else if (option == u"--to") {
            Value(option, request.to);
        } else {
            Fail(Message::UnknownOption, {option});
        }
    }

    void Value(const std::u16string& option, std::optional<std::u16string>& into) {
        if (index_ + 1 >= arguments_.size()) return Fail(Message::NeedsValue, {option});
        into = arguments_[++index_];
    }

    void Shape(const std::vector<std::u16string>& words) {
        if (words.empty()) return Fail(Message::NoCommand, {});
        const CommandShape* shape = FindCommand(words[0]);
        if (shape == nullptr) return Fail(Message::UnknownCommand, {words[0]});
        Request& request = parsed_.request;
        request.command = shape->command;
        request.operands.assign(words.begin() + 1, words.end());
        if (request.operands.size() < shape->fewest || request.operands.size() > shape->most)
            return Fail(Message::WrongCount, {shape->name});
        for (const std::u16string& option : seen_)
            if (!Accepts(shape->command, option)) return Fail(Message::NotForCommand, {option, shape->name});
        if (request.from.has_value() != request.to.has_value()) Fail(Message::FromWithoutTo, {});
    }

    const std::vector<std::u16string>& arguments_;
    Language language_;
    std::size_t index_ = 0;
    std::vector<std::u16string> seen_;
    bool help_ = false;
    Parsed parsed_;
};

}  // namespace

Parsed ParseArguments(const std::vector<std::u16string>& arguments, Language language) {
    return Parser(arguments, language).Run();
}

}  // namespace vellum::tool
