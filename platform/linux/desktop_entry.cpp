// Reading the [Desktop Entry] group of a .desktop file: names, Exec, TryExec, Hidden.
#include "platform/linux/desktop_entry.h"

#include <fstream>
#include <vector>

namespace quaylet {
namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

/// Undoes the escapes of the "string" value type: \s \n \t \r \\.
std::string unescapeValue(std::string_view value) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            result += ' ';
            break;
        case 'n':
            result += '\n';
            break;
        case 't':
            result += '\t';
            break;
        case 'r':
            result += '\r';
            break;
        default:
            result += value[i];
            break;
        }
    }
    return result;
}

/// The Name keys to try for a locale, best first: Name[ll_CC], Name[ll], Name.
std::vector<std::string> nameKeys(std::string_view locale) {
    const std::string_view language = locale.substr(0, locale.find_first_of(".@"));
    std::vector<std::string> keys;
    if (!language.empty() && language != "C" && language != "POSIX") {
        keys.push_back("Name[" + std::string(language) + "]");
        const auto underscore = language.find('_');
        if (underscore != std::string_view::npos) {
            keys.push_back("Name[" + std::string(language.substr(0, underscore)) + "]");
        }
    }
    keys.emplace_back("Name");
    return keys;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::read(const std::string& path, std::string_view locale) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    const std::vector<std::string> keys = nameKeys(locale);
    std::size_t bestName = keys.size();
    bool inGroup = false;
    bool sawGroup = false;
    DesktopEntry entry;
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text = trim(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            inGroup = text == "[Desktop Entry]";
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const auto equals = text.find('=');
        if (!inGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string key(trim(text.substr(0, equals)));
        const std::string value = unescapeValue(trim(text.substr(equals + 1)));
        if (key == "Type") {
            entry.type = value;
        } else if (key == "Exec") {
            entry.exec = value;
        } else if (key == "TryExec") {
            entry.tryExec = value;
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        }
        for (std::size_t rank = 0; rank < bestName; ++rank) {
            if (key == keys[rank]) {
                entry.name = value;
                bestName = rank;
                break;
            }
        }
    }
    if (!sawGroup) {
        return std::nullopt;
    }
    return entry;
}

std::string execProgram(std::string_view exec) {
    exec = trim(exec);
    std::string program;
    if (exec.empty() || exec.front() != '"') {
        return std::string(exec.substr(0, exec.find_first_of(" \t")));
    }
    // A quoted argument: a backslash escapes the next character.
    for (std::size_t i = 1; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) {
            ++i;
        }
        program += exec[i];
    }
    return program;
}

} // namespace quaylet
