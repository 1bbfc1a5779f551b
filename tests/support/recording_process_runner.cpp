// The recording runner: scripted output cut into whole lines, and a gate of one mutex and one
// condition shared by every held run.
#include "tests/support/recording_process_runner.h"

#include <chrono>
#include <string_view>

namespace quaylet::testing {

RecordingProcessRunner::RecordingProcessRunner(Script script) : script_(std::move(script)) {}

RecordingProcessRunner::RecordingProcessRunner(std::unique_ptr<ProcessRunner> inner)
    : inner_(std::move(inner)) {}

void RecordingProcessRunner::hold(std::string program) {
    const std::lock_guard lock(mutex_);
    held_.insert(std::move(program));
}

void RecordingProcessRunner::open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

bool RecordingProcessRunner::waitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return waiting_ > 0; });
}

std::vector<std::vector<std::string>> RecordingProcessRunner::runs() const {
    const std::lock_guard lock(mutex_);
    return runs_;
}

std::error_code RecordingProcessRunner::run(const std::vector<std::string>& argv,
                                            const OutputLineHandler& onLine) {
    {
        std::unique_lock lock(mutex_);
        runs_.push_back(argv);
        const std::string_view path = argv.empty() ? std::string_view() : argv.front();
        if (held_.count(path.substr(path.rfind('/') + 1)) != 0) {
            // Bounded, so that a run held on the thread that should open the gate ends the
            // test with a failure instead of a hang.
            ++waiting_;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
            --waiting_;
        }
    }
    if (inner_) {
        return inner_->run(argv, onLine);
    }
    const std::optional<std::string> output = script_(argv);
    if (!output) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    std::string_view rest(*output);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t size = end == std::string_view::npos ? rest.size() : end + 1;
        onLine(rest.substr(0, size));
        rest.remove_prefix(size);
    }
    return {};
}

} // namespace quaylet::testing
