// The open-files tool's field output, read file by file into process uses.
#include "eject/open_file_uses_parser.h"

#include <charconv>

#include "eject/open_files_parser.h"

namespace quaylet {

void OpenFileUsesParser::parseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return;
    }
    const std::string_view value = line.substr(1);
    if (line.front() == 'p') {
        process_.emplace().pid = parseProcessId(value);
        return;
    }
    if (!process_) {
        return;
    }
    switch (line.front()) {
    case 'c':
        process_->command = value;
        break;
    case 'u': {
        std::uint32_t uid = 0;
        if (std::from_chars(value.data(), value.data() + value.size(), uid).ec == std::errc()) {
            process_->uid = uid;
        }
        break;
    }
    case 'f':
        process_->deviceNumber = 0; // a new file: its device follows, if the tool knows it
        break;
    case 'D': {
        std::uint64_t device = 0;
        const std::string_view digits = value.starts_with("0x") ? value.substr(2) : value;
        const auto parsed =
            std::from_chars(digits.data(), digits.data() + digits.size(), device, 16);
        process_->deviceNumber = parsed.ec == std::errc() ? device : 0;
        break;
    }
    case 'n':
        if (!value.empty()) {
            ProcessUse use = *process_;
            use.path = value;
            uses_.push_back(std::move(use));
        }
        break;
    default:
        break;
    }
}

} // namespace quaylet
