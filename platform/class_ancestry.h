// Class ancestry of registry entries: which base classes each class of a snapshot derives from.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

/// Superclass of each class a snapshot declares itself (class name → superclass name).
using ClassTable = std::map<std::string, std::string, std::less<>>;

/// Returns the base classes of `className`, nearest first, looked up in `declared` and then
/// in a built-in table of macOS registry classes. A class known to neither derives from
/// "IOService". A cycle ends the chain where a class would repeat.
std::vector<std::string> classAncestry(std::string_view className, const ClassTable& declared);

} // namespace quaylet
