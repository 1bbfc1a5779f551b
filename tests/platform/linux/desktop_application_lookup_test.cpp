// Application names from systemd user scopes and from executables matched to desktop entries.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/linux/desktop_application_lookup.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;

const std::string kMachine = testing::fixturePath("debian-desktop", "");

/// A process of the fixture machine: its cgroup line and where its exe link points.
struct ProcessCase {
    const char* what;
    std::string cgroup;
    std::string executable; ///< Absolute, or relative to the scratch folder.
    std::string locale;
    std::optional<std::string> expected;
};

void PrintTo(const ProcessCase& process, std::ostream* out) {
    *out << process.what;
}

class DesktopApplicationLookupTest : public ::testing::TestWithParam<ProcessCase> {
protected:
    void SetUp() override {
        // A program reached through PATH by a link, and a stand-in for sh.
        fs::create_directories(scratch.path() + "/lib/quaylet-editor");
        fs::create_directories(scratch.path() + "/bin");
        std::ofstream(scratch.path() + "/lib/quaylet-editor/editor") << "";
        std::ofstream(scratch.path() + "/bin/sh") << "";
        fs::create_symlink("../lib/quaylet-editor/editor", scratch.path() + "/bin/quaylet-editor");
    }

    DesktopApplicationLookup lookupFor(const ProcessCase& process) {
        const fs::path proc = fs::path(scratch.path()) / "proc/4321";
        fs::create_directories(proc);
        std::ofstream(proc / "cgroup") << process.cgroup << "\n";
        const std::string target = process.executable.starts_with('/')
                                       ? process.executable
                                       : scratch.path() + "/" + process.executable;
        fs::create_symlink(target, proc / "exe");
        DesktopApplicationRoots roots;
        roots.procDir = scratch.path() + "/proc";
        roots.applicationDirs = {kMachine + "/home/alice/.local/share/applications",
                                 kMachine + "/usr/share/applications"};
        roots.executableDirs = {scratch.path() + "/bin"};
        roots.locale = process.locale;
        return DesktopApplicationLookup(roots);
    }

    testing::TemporaryDirectory scratch;
};

constexpr const char* kUserSlice = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";

TEST_P(DesktopApplicationLookupTest, NamesTheProcessAfterItsApplication) {
    EXPECT_EQ(lookupFor(GetParam()).applicationName(4321), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    FixtureMachine, DesktopApplicationLookupTest,
    ::testing::Values(
        ProcessCase{"scope with launcher; the user's entry wins",
                    std::string(kUserSlice) + "app-gnome-org.gnome.Nautilus-2291.scope",
                    "/usr/bin/nautilus", "de_DE.UTF-8", "My Files"},
        ProcessCase{"service with instance, name for de_AT falls back to de",
                    std::string(kUserSlice) + "app-org.kde.dolphin@autostart.service", "/x",
                    "de_AT.UTF-8@euro", "Dolphin (de)"},
        ProcessCase{"absolute Exec matches the executable",
                    "0::/user.slice/user-1000.slice/session-2.scope",
                    "/usr/lib/firefox-esr/firefox-esr", "", "Firefox ESR"},
        ProcessCase{"quoted Exec with a space, escaped Name", "0::/", "/opt/Quaylet Notes/notes",
                    "", "Notes and Sketches"},
        ProcessCase{"TryExec through PATH and a link", "0::/", "lib/quaylet-editor/editor", "",
                    "Editor"},
        ProcessCase{"a launcher in Exec names nothing", "0::/", "bin/sh", "", std::nullopt},
        ProcessCase{"hidden entries count as deleted", "0::/", "/usr/lib/quaylet-retired/retired",
                    "", std::nullopt},
        ProcessCase{"unknown application id and executable",
                    std::string(kUserSlice) + "app-gnome-org.example.Gone-12.scope",
                    "/usr/bin/sleep", "", std::nullopt}));

} // namespace
} // namespace quaylet
