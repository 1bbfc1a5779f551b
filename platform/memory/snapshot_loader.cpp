// Reads a machine snapshot from JSON: its structure, checked key by key, with the place of
// the first fault in the error.
#include "platform/memory/snapshot_loader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/memory/snapshot_json.h"

namespace quaylet {
namespace {

using nlohmann::json;
using snapshot_json::childPointer;
using snapshot_json::Problem;

constexpr int kMaxTreeDepth = 256;

bool onlyKnownKeys(const json& object, const std::string& pointer,
                   std::initializer_list<std::string_view> known, Problem& problem) {
    for (const auto& item : object.items()) {
        if (std::find(known.begin(), known.end(), item.key()) == known.end()) {
            return problem.fail(childPointer(pointer, item.key()),
                                "unknown key \"" + item.key() + "\"");
        }
    }
    return true;
}

// Reads the string at `key` of `object` into `out`; a missing key is a fault when `required`.
bool readString(const json& object, std::string_view key, const std::string& pointer, bool required,
                std::string& out, Problem& problem) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return !required || problem.fail(pointer, "missing \"" + std::string(key) + "\"");
    }
    if (!found->is_string()) {
        return problem.fail(childPointer(pointer, key), "expected a string");
    }
    out = found->get<std::string>();
    return true;
}

bool readVersion(const json& root, Snapshot& snapshot, Problem& problem) {
    std::string text;
    if (!readString(root, "osVersion", "", true, text, problem)) {
        return false;
    }
    std::int32_t parts[3] = {0, 0, 0};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    int count = 0;
    while (count < 3) {
        const auto [next, status] = std::from_chars(at, end, parts[count]);
        if (status != std::errc() || parts[count] < 0) {
            break;
        }
        ++count;
        at = next;
        if (at == end || *at != '.') {
            break;
        }
        ++at;
    }
    if (count < 2 || at != end) {
        return problem.fail("/osVersion", "expected a version such as \"11.6\" or \"10.15.7\"");
    }
    snapshot.osVersion = {parts[0], parts[1], parts[2]};
    return true;
}

bool readEntry(const json& object, const std::string& pointer, int depth, SnapshotEntry& entry,
               Problem& problem);

bool readChildren(const json& object, const std::string& pointer, int depth, SnapshotEntry& entry,
                  Problem& problem) {
    const auto children = object.find("children");
    if (children == object.end()) {
        return true;
    }
    const std::string at = childPointer(pointer, "children");
    if (!children->is_array()) {
        return problem.fail(at, "expected an array of entries");
    }
    entry.children.resize(children->size());
    for (std::size_t index = 0; index < children->size(); ++index) {
        if (!readEntry((*children)[index], childPointer(at, index), depth + 1,
                       entry.children[index], problem)) {
            return false;
        }
    }
    return true;
}

bool readEntry(const json& object, const std::string& pointer, int depth, SnapshotEntry& entry,
               Problem& problem) {
    if (depth > kMaxTreeDepth) {
        return problem.fail(pointer, "registry tree nested too deep");
    }
    if (!object.is_object()) {
        return problem.fail(pointer, "expected an entry object");
    }
    if (!onlyKnownKeys(object, pointer, {"class", "name", "properties", "registered", "children"},
                       problem) ||
        !readString(object, "class", pointer, true, entry.className, problem) ||
        !readString(object, "name", pointer, false, entry.name, problem)) {
        return false;
    }
    if (entry.className.empty()) {
        return problem.fail(childPointer(pointer, "class"), "the class name is empty");
    }
    if (const auto registered = object.find("registered"); registered != object.end()) {
        if (!registered->is_boolean()) {
            return problem.fail(childPointer(pointer, "registered"), "expected true or false");
        }
        entry.registered = registered->get<bool>();
    }
    if (const auto properties = object.find("properties"); properties != object.end()) {
        const std::string at = childPointer(pointer, "properties");
        if (!properties->is_object()) {
            return problem.fail(at, "expected an object of properties");
        }
        for (const auto& [key, value] : properties->items()) {
            auto read = snapshot_json::readPropertyValue(value, childPointer(at, key), 0, problem);
            if (!read) {
                return false;
            }
            entry.properties.insert_or_assign(key, std::move(*read));
        }
    }
    return readChildren(object, pointer, depth, entry, problem);
}

bool readStringMap(const json& root, std::string_view key, Problem& problem,
                   const std::function<void(const std::string&, const std::string&)>& add) {
    const auto found = root.find(key);
    if (found == root.end()) {
        return true;
    }
    const std::string at = childPointer("", key);
    if (!found->is_object()) {
        return problem.fail(at, "expected an object of strings");
    }
    for (const auto& [name, value] : found->items()) {
        if (!value.is_string()) {
            return problem.fail(childPointer(at, name), "expected a string");
        }
        add(name, value.get<std::string>());
    }
    return true;
}

// Reads the array at `key`, handing each element and its pointer to `readOne`.
bool readArray(const json& root, std::string_view key, Problem& problem,
               const std::function<bool(const json&, const std::string&)>& readOne) {
    const auto found = root.find(key);
    if (found == root.end()) {
        return true;
    }
    const std::string at = childPointer("", key);
    if (!found->is_array()) {
        return problem.fail(at, "expected an array");
    }
    for (std::size_t index = 0; index < found->size(); ++index) {
        const std::string elementAt = childPointer(at, index);
        if (!(*found)[index].is_object()) {
            return problem.fail(elementAt, "expected an object");
        }
        if (!readOne((*found)[index], elementAt)) {
            return false;
        }
    }
    return true;
}

bool readMount(const json& object, const std::string& at, Snapshot& snapshot, Problem& problem) {
    MountEntry mount;
    if (!onlyKnownKeys(object, at, {"device", "mountPoint", "type"}, problem) ||
        !readString(object, "device", at, true, mount.devicePath, problem) ||
        !readString(object, "mountPoint", at, true, mount.mountPoint, problem) ||
        !readString(object, "type", at, false, mount.fileSystemType, problem)) {
        return false;
    }
    snapshot.mounts.push_back(std::move(mount));
    return true;
}

bool readProcess(const json& object, const std::string& at, Snapshot& snapshot, Problem& problem) {
    SimulatedProcess process;
    std::string application;
    if (!onlyKnownKeys(object, at, {"pid", "name", "application", "openPaths"}, problem) ||
        !readString(object, "name", at, true, process.name, problem) ||
        !readString(object, "application", at, false, application, problem)) {
        return false;
    }
    const auto pid = object.find("pid");
    if (pid == object.end()) {
        return problem.fail(at, "missing \"pid\"");
    }
    const auto number = snapshot_json::readInteger(*pid, childPointer(at, "pid"), problem);
    if (!number || *number < 0 || *number > std::numeric_limits<std::int32_t>::max()) {
        return problem.fail(childPointer(at, "pid"), "expected a process id");
    }
    process.pid = static_cast<std::int32_t>(*number);
    if (object.contains("application")) {
        process.application = application;
    }
    const auto paths = object.find("openPaths");
    if (paths == object.end() || !paths->is_array()) {
        return problem.fail(childPointer(at, "openPaths"), "expected an array of paths");
    }
    for (std::size_t index = 0; index < paths->size(); ++index) {
        if (!(*paths)[index].is_string()) {
            return problem.fail(childPointer(childPointer(at, "openPaths"), index),
                                "expected a string");
        }
        process.openPaths.push_back((*paths)[index].get<std::string>());
    }
    snapshot.busyProcesses.push_back(std::move(process));
    return true;
}

bool readSnapshot(const json& root, Snapshot& snapshot, Problem& problem) {
    if (!root.is_object()) {
        return problem.fail("", "the document must be an object");
    }
    if (!onlyKnownKeys(root, "",
                       {"machine", "osVersion", "classes", "registry", "mounts", "displayNames",
                        "busyProcesses"},
                       problem) ||
        !readString(root, "machine", "", false, snapshot.machine, problem) ||
        !readVersion(root, snapshot, problem) ||
        !readStringMap(root, "classes", problem,
                       [&](const std::string& name, const std::string& base) {
                           snapshot.classes.insert_or_assign(name, base);
                       })) {
        return false;
    }
    const auto registry = root.find("registry");
    if (registry == root.end()) {
        return problem.fail("", "missing \"registry\"");
    }
    return readEntry(*registry, "/registry", 0, snapshot.registry, problem) &&
           readArray(root, "mounts", problem,
                     [&](const json& mount, const std::string& at) {
                         return readMount(mount, at, snapshot, problem);
                     }) &&
           readStringMap(root, "displayNames", problem,
                         [&](const std::string& path, const std::string& name) {
                             snapshot.displayNames.insert_or_assign(path, name);
                         }) &&
           readArray(root, "busyProcesses", problem,
                     [&](const json& process, const std::string& at) {
                         return readProcess(process, at, snapshot, problem);
                     });
}

// Line and column (from 1) of the byte at `offset` (counted from 1, as the parser reports).
std::string lineAndColumn(std::string_view text, std::size_t offset) {
    const std::size_t end = std::min(offset == 0 ? 0 : offset - 1, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t at = 0; at < end; ++at) {
        if (text[at] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

} // namespace

std::optional<Snapshot> parseSnapshot(std::string_view text, const std::string& sourceName,
                                      std::string& error) {
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& fault) {
        error = sourceName + ":" + lineAndColumn(text, fault.byte) + ": not valid JSON (" +
                fault.what() + ")";
        return std::nullopt;
    } catch (const json::exception& fault) {
        // The parser reports a number too large for any type (1e999) as out of range, not
        // as a parse error, and without a position.
        error = sourceName + ": not valid JSON (" + fault.what() + ")";
        return std::nullopt;
    }
    Snapshot snapshot;
    Problem problem;
    if (!readSnapshot(root, snapshot, problem)) {
        error = sourceName + ": " + problem.message();
        return std::nullopt;
    }
    return snapshot;
}

std::optional<Snapshot> loadSnapshot(const std::string& path, SnapshotError& error) {
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (file) {
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (!file && !file.eof()) {
        // The stream keeps no error of its own; the failed call's errno is the best account.
        error.readError = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        return std::nullopt;
    }
    return parseSnapshot(text, path, error.problem);
}

} // namespace quaylet
