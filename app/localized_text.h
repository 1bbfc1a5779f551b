// localizedText: a text of the string table, as Qt shows it.
#pragma once

#include <string_view>

#include <QString>

#include "platform/string_table.h"

namespace quaylet {

/// Returns the text of `key` in `strings` (UTF-8) as a QString; the key itself when missing.
inline QString localizedText(const StringTable& strings, std::string_view key) {
    return QString::fromStdString(strings.text(key));
}

} // namespace quaylet
