// Application names from systemd user scopes and desktop entries (XDG application folders).
#include "platform/linux/desktop_application_lookup.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "platform/linux/desktop_entry.h"
#include "platform/linux/hex_escapes.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;

/// Programs that only start another program; matching them would name the wrong application.
constexpr std::array<std::string_view, 9> kLaunchers{
    "env", "sh", "bash", "dash", "flatpak", "snap", "gtk-launch", "xdg-open", "gio"};

std::vector<std::string> splitList(const char* value, const char* fallback) {
    const std::string text = value != nullptr && *value != '\0' ? value : fallback;
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ':')) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::string_view> splitOnDash(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t dash = text.find('-'); dash != std::string_view::npos;
         dash = text.find('-', start)) {
        parts.push_back(text.substr(start, dash - start));
        start = dash + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

/// The application ids a unit name may carry, most likely first: "app-gnome-org.x.Y-12.scope"
/// gives org.x.Y, then gnome-org.x.Y (an id's own dashes are escaped, so dashes separate
/// launcher, id and instance).
std::vector<std::string> applicationIdsOfUnit(std::string_view unit) {
    std::string_view body;
    bool scope = false;
    if (!unit.starts_with("app-")) {
        return {};
    }
    if (unit.ends_with(".scope")) {
        body = unit.substr(4, unit.size() - 4 - 6);
        scope = true;
    } else if (unit.ends_with(".service")) {
        body = unit.substr(4, unit.size() - 4 - 8);
        body = body.substr(0, body.find('@'));
    } else {
        return {};
    }
    std::vector<std::string_view> parts = splitOnDash(body);
    if (scope && parts.size() > 1) {
        parts.pop_back(); // the instance number of the scope
    }
    auto join = [&](std::size_t from) {
        std::string id;
        for (std::size_t i = from; i < parts.size(); ++i) {
            id += (i == from ? "" : "-");
            id += parts[i];
        }
        return decodeHexEscapes(id);
    };
    std::vector<std::string> ids;
    if (parts.size() > 1) {
        ids.push_back(join(1));
    }
    ids.push_back(join(0));
    return ids;
}

/// The cgroup path of a /proc/PID/cgroup text: the unified hierarchy's, else systemd's.
std::string cgroupPath(const std::string& content) {
    std::istringstream lines(content);
    std::string line;
    std::string fallback;
    while (std::getline(lines, line)) {
        if (line.starts_with("0::")) {
            return line.substr(3);
        }
        const auto marker = line.find(":name=systemd:");
        if (marker != std::string::npos) {
            fallback = line.substr(marker + 14);
        }
    }
    return fallback;
}

std::vector<fs::path> desktopFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == ".desktop") {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

/// The desktop entry id of `file` found under `dir`: its relative path, "/" turned into "-",
/// without ".desktop".
std::string desktopEntryId(const fs::path& file, const fs::path& dir) {
    std::string id = file.lexically_relative(dir).replace_extension().string();
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

bool isLauncher(const std::string& program) {
    const std::string base = fs::path(program).filename().string();
    return std::find(kLaunchers.begin(), kLaunchers.end(), base) != kLaunchers.end();
}

} // namespace

DesktopApplicationRoots DesktopApplicationRoots::fromEnvironment() {
    DesktopApplicationRoots roots;
    const char* home = std::getenv("HOME");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && *dataHome == '/') {
        roots.applicationDirs.push_back(std::string(dataHome) + "/applications");
    } else if (home != nullptr && *home == '/') {
        roots.applicationDirs.push_back(std::string(home) + "/.local/share/applications");
    }
    for (const std::string& dir :
         splitList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share")) {
        roots.applicationDirs.push_back(dir + "/applications");
    }
    roots.executableDirs = splitList(std::getenv("PATH"), "/usr/local/bin:/usr/bin:/bin");
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            roots.locale = value;
            break;
        }
    }
    return roots;
}

DesktopApplicationLookup::DesktopApplicationLookup(DesktopApplicationRoots roots)
    : roots_(std::move(roots)) {}

std::optional<std::string> DesktopApplicationLookup::applicationName(std::int32_t pid) const {
    std::optional<DesktopApplication> found = application(pid);
    return found ? std::optional<std::string>(std::move(found->name)) : std::nullopt;
}

std::optional<DesktopApplication> DesktopApplicationLookup::application(std::int32_t pid) const {
    if (pid <= 0) {
        return std::nullopt;
    }
    if (auto found = fromScope(pid)) {
        return found;
    }
    return fromExecutable(pid);
}

std::optional<DesktopApplication> DesktopApplicationLookup::fromScope(std::int32_t pid) const {
    const fs::path cgroupFile = fs::path(roots_.procDir) / std::to_string(pid) / "cgroup";
    const fs::path cgroup = cgroupPath(readFile(cgroupFile));
    // The application's unit is the innermost app-* component (it may hold sub-groups).
    std::vector<std::string> ids;
    for (const fs::path& component : cgroup) {
        const auto candidates = applicationIdsOfUnit(component.string());
        if (!candidates.empty()) {
            ids = candidates;
        }
    }
    for (const std::string& id : ids) {
        for (const std::string& dir : roots_.applicationDirs) {
            const auto entry = DesktopEntry::read(dir + "/" + id + ".desktop", roots_.locale);
            if (entry && !entry->hidden && !entry->name.empty()) {
                return DesktopApplication{entry->name, id};
            }
        }
    }
    return std::nullopt;
}

std::optional<DesktopApplication> DesktopApplicationLookup::fromExecutable(std::int32_t pid) const {
    std::error_code error;
    std::string executable =
        fs::read_symlink(fs::path(roots_.procDir) / std::to_string(pid) / "exe", error).string();
    if (error || executable.empty()) {
        return std::nullopt; // gone, a kernel thread, or someone else's process
    }
    constexpr std::string_view kDeleted = " (deleted)";
    if (executable.ends_with(kDeleted)) {
        executable.resize(executable.size() - kDeleted.size());
    }
    struct stat executableFile {};
    const bool fileKnown = ::stat(executable.c_str(), &executableFile) == 0;
    // Entries often name one program twice (TryExec and Exec) and several entries the same
    // one: each is looked for once.
    std::map<std::string, bool, std::less<>> judged;
    const auto starts = [&](const std::string& program) {
        const auto [known, fresh] = judged.try_emplace(program, false);
        if (fresh) {
            known->second =
                startsExecutable(program, executable, fileKnown ? &executableFile : nullptr);
        }
        return known->second;
    };
    for (const std::string& dir : roots_.applicationDirs) {
        for (const fs::path& file : desktopFiles(dir)) {
            const auto entry = DesktopEntry::read(file.string(), roots_.locale);
            if (!entry || entry->hidden || entry->name.empty() || entry->type != "Application") {
                continue;
            }
            for (const std::string& program : {entry->tryExec, execProgram(entry->exec)}) {
                if (!program.empty() && !isLauncher(program) && starts(program)) {
                    return DesktopApplication{entry->name, desktopEntryId(file, dir)};
                }
            }
        }
    }
    return std::nullopt;
}

bool DesktopApplicationLookup::startsExecutable(const std::string& program,
                                                const std::string& executable,
                                                const struct stat* file) const {
    // A program that is another file than the executable cannot resolve to its path: the file
    // decides without resolving the program's links.
    const auto otherFile = [file](const struct stat& status) {
        return file != nullptr && (status.st_dev != file->st_dev || status.st_ino != file->st_ino);
    };
    std::error_code error;
    struct stat status {};
    if (program.find('/') != std::string::npos) {
        if (::stat(program.c_str(), &status) == 0 && otherFile(status)) {
            return false;
        }
        const fs::path resolved = fs::weakly_canonical(program, error);
        return !error && resolved.string() == executable;
    }
    for (const std::string& dir : roots_.executableDirs) {
        const std::string candidate = (fs::path(dir) / program).string();
        if (::stat(candidate.c_str(), &status) == 0) { // the first folder that has it
            if (otherFile(status)) {
                return false;
            }
            const fs::path resolved = fs::canonical(candidate, error);
            return !error && resolved.string() == executable;
        }
    }
    return false;
}

} // namespace quaylet
