// The open-files tool's field output, read group by group into BusyProcess records.
#include "eject/open_files_parser.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace quaylet {
namespace {

std::string_view withoutNewline(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    return line;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int32_t parseProcessId(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kLimit, value * 10 + (text[i] - '0'));
    }
    value = negative ? -value : value;
    const std::int64_t max = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(value, max));
}

OpenFilesParser::OpenFilesParser(std::vector<BusyProcess>& results, ProcessNamer namer)
    : results_(results), namer_(std::move(namer)) {}

void OpenFilesParser::parseLine(std::string_view line) {
    const std::string_view field = withoutNewline(line);
    if (field.empty()) {
        return; // an empty line carries no field
    }
    if (field.front() == 'p') {
        endGroup();
        group_.emplace().pid = parseProcessId(field.substr(1));
        return;
    }
    if (!group_) {
        return; // before the first process
    }
    const std::string_view value = field.substr(1);
    if (field.front() == 'c') {
        command_ = value;
    } else if (field.front() == 'n' && value != "/") {
        group_->openPaths.emplace_back(value);
    }
}

void OpenFilesParser::finish() {
    endGroup();
}

void OpenFilesParser::endGroup() {
    // A group without paths is dropped unnamed: naming may cost a program run.
    if (group_ && !group_->openPaths.empty()) {
        group_->name = namer_(group_->pid, command_);
        results_.push_back(std::move(*group_));
    }
    group_.reset();
    command_.clear();
}

} // namespace quaylet
