// TemporaryDirectory: a fresh directory for one test, removed with everything in it.
#pragma once

#include <string>

namespace quaylet::testing {

/// Creates a new directory under $TMPDIR (or /tmp) and removes it again when destroyed. A
/// directory that still has something mounted below it is left in place (and said so), so
/// removal never reaches into a mounted file system.
class TemporaryDirectory {
public:
    /// Creates the directory; path() is empty when that failed.
    TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();

    /// Returns the directory's absolute, canonical path.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace quaylet::testing
