// UniqueFd: sole owner of one file descriptor, closed when the owner goes.
#pragma once

#include <utility>

#include <unistd.h>

namespace quaylet {

/// Owns a file descriptor and closes it on destruction; -1 means none.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    ~UniqueFd() { reset(); }

    /// Returns the descriptor, or -1 when none is held.
    int get() const { return fd_; }
    /// Whether a descriptor is held.
    explicit operator bool() const { return fd_ >= 0; }
    /// Closes the held descriptor, if any, and takes `fd` instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace quaylet
