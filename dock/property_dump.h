// Diagnostic text of registry property tables.
#pragma once

#include <string>

#include "platform/property_value.h"

namespace quaylet {

/// Returns a readable, indented description of a property table, one property a line.
std::string describeProperties(const PropertyDictionary& properties);

} // namespace quaylet
