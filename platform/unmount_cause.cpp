// The disk tool's words for how an unmount ended, and the causes of the kernel's errors.
#include "platform/unmount_cause.h"

#include <array>
#include <utility>

namespace quaylet {
namespace {

constexpr std::array<std::pair<UnmountCause, std::string_view>, 5> kWords{{
    {UnmountCause::none, "Unmounted"},
    {UnmountCause::gone, "Gone"},
    {UnmountCause::busy, "Busy"},
    {UnmountCause::notAllowed, "Not-allowed"},
    {UnmountCause::failed, "Failed"},
}};

} // namespace

std::string_view unmountCauseWord(UnmountCause cause) {
    for (const auto& [known, word] : kWords) {
        if (known == cause) {
            return word;
        }
    }
    return "Failed";
}

bool unmountCauseOfLine(std::string_view line, UnmountCause& cause) {
    for (const auto& [known, word] : kWords) {
        if (line.starts_with(word) && (line.size() == word.size() || line[word.size()] == ' ' ||
                                       line[word.size()] == ':' || line[word.size()] == '\n')) {
            cause = known;
            return true;
        }
    }
    return false;
}

UnmountCause unmountCauseOfError(std::error_code error) {
    if (!error) {
        return UnmountCause::none;
    }
    if (error == std::errc::device_or_resource_busy) {
        return UnmountCause::busy;
    }
    if (error == std::errc::operation_not_permitted || error == std::errc::permission_denied) {
        return UnmountCause::notAllowed;
    }
    if (error == std::errc::invalid_argument || error == std::errc::no_such_file_or_directory ||
        error == std::errc::no_such_device || error == std::errc::no_such_device_or_address) {
        return UnmountCause::gone;
    }
    return UnmountCause::failed;
}

} // namespace quaylet
