// The gated runner: a gate of one mutex and one condition, shared by every held run.
#include "gated_process_runner.h"

#include <algorithm>
#include <chrono>

namespace quaylet::testing {
namespace {

std::string_view programName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

GatedProcessRunner::GatedProcessRunner(std::unique_ptr<ProcessRunner> inner)
    : inner_(std::move(inner)) {}

void GatedProcessRunner::hold(std::string program) {
    const std::lock_guard lock(mutex_);
    held_.insert(std::move(program));
}

void GatedProcessRunner::refuse(std::string program) {
    const std::lock_guard lock(mutex_);
    refused_.insert(std::move(program));
}

void GatedProcessRunner::open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

bool GatedProcessRunner::waitUntilHeld(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return waiting_ >= count; });
}

std::size_t GatedProcessRunner::runsOf(std::string_view program) const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(commands_.begin(), commands_.end(), [program](const auto& argv) {
            return !argv.empty() && programName(argv.front()) == program;
        }));
}

std::vector<std::vector<std::string>> GatedProcessRunner::commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
}

std::error_code GatedProcessRunner::run(const std::vector<std::string>& argv,
                                        const OutputLineHandler& onLine) {
    const std::string_view program = argv.empty() ? "" : programName(argv.front());
    {
        std::unique_lock lock(mutex_);
        commands_.push_back(argv);
        if (refused_.count(program) != 0) {
            return std::make_error_code(std::errc::no_such_file_or_directory);
        }
        if (held_.count(program) != 0) {
            ++waiting_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
            --waiting_;
        }
    }
    return inner_->run(argv, onLine);
}

} // namespace quaylet::testing
