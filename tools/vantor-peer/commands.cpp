#include "commands.h"

#include <cctype>

#include "TamberLauncher.h"

namespace Peer {
namespace {

const std::string kPrefix = "VANTORMESSAGETYPE_";
// The invalid marker has a name but is never sent.
constexpr int32_t kInvalidType = VANTORMESSAGETYPE_INVALID;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsNumber(const std::string& word) {
    std::size_t first = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (first == word.size()) return false;
    for (std::size_t i = first; i < word.size(); ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    return true;
}

std::string OutOfRange(const std::string& word) {
    return "message type " + word + " is out of range: a number " + std::to_string(kFirstType) + ".." +
           std::to_string(kLastType) + " or its name (type help for the list)";
}

// Sets *type from a number; false when it lies outside the sendable range.
bool TypeFromNumber(const std::string& word, int32_t* type) {
    if (word[0] == '-') return false;
    const std::size_t first = word[0] == '+' ? 1 : 0;
    int32_t value = 0;
    for (std::size_t i = first; i < word.size(); ++i) {
        value = value * 10 + (word[i] - '0');
        if (value > kLastType) return false;
    }
    *type = value;
    return true;
}

// The type whose name matches word (the invalid marker included), or -1.
int32_t TypeFromName(const std::string& word) {
    std::string wanted = Upper(word);
    if (wanted.compare(0, kPrefix.size(), kPrefix) == 0) wanted.erase(0, kPrefix.size());
    for (int32_t type = kFirstType; type <= kInvalidType; ++type) {
        if (TypeName(type) == kPrefix + wanted) return type;
    }
    return -1;
}

Command Simple(Command::Kind kind) {
    Command command;
    command.kind = kind;
    return command;
}

Command Bad(const std::string& error) {
    Command command = Simple(Command::Kind::kBad);
    command.error = error;
    return command;
}

}  // namespace

std::string TypeName(int32_t type) {
    char name[96] = {};
    Vantor_MessageTypeToString(type, name, sizeof name);
    return name;
}

std::string TypeListText() {
    std::string text;
    for (int32_t type = kFirstType; type <= kLastType; ++type) {
        const std::string number = std::to_string(type);
        text += std::string(4 - number.size(), ' ') + number + "  " + TypeName(type) + "\n";
    }
    return text;
}

Command ParseCommand(const std::string& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string word = line.substr(start, end - start);
    if (word.empty()) return Simple(Command::Kind::kNothing);

    std::size_t payloadStart = end;
    while (payloadStart < line.size() && IsBlank(line[payloadStart])) ++payloadStart;
    const bool hasPayload = payloadStart < line.size();

    const std::string upper = Upper(word);
    if (!hasPayload && upper == "QUIT") return Simple(Command::Kind::kQuit);
    if (!hasPayload && upper == "HELP") return Simple(Command::Kind::kHelp);

    Command command = Simple(Command::Kind::kSend);
    if (IsNumber(word)) {
        if (!TypeFromNumber(word, &command.type)) return Bad(OutOfRange(word));
    } else {
        command.type = TypeFromName(word);
        if (command.type == kInvalidType) return Bad(OutOfRange(word + " (" + std::to_string(kInvalidType) + ")"));
        if (command.type < 0)
            return Bad("unknown message type '" + word + "': a number " + std::to_string(kFirstType) + ".." +
                       std::to_string(kLastType) + " or a name such as CHATMESSAGE_TO_GAME (type help for the list)");
    }
    command.hasPayload = hasPayload;
    if (hasPayload) command.payload = line.substr(payloadStart);
    return command;
}

}  // namespace Peer
