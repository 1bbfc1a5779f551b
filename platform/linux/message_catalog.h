// The program's message catalog: the texts of the string table in the user's language, through
// gettext, so that the tray and the command line follow LANGUAGE, LC_ALL, LC_MESSAGES and LANG
// as every other program on the desktop does.
#pragma once

#include <string>

#include "platform/string_table.h"

namespace quaylet {

/// The gettext domain of the catalogs (quaylet.mo).
inline constexpr const char* kMessageDomain = "quaylet";

/// Returns the folder holding LANG/LC_MESSAGES/quaylet.mo: share/locale beside the running
/// executable's folder when it has one (a build tree, or a relocated install), else the
/// installed locale folder.
std::string messageCatalogDirectory();

/// Returns the built-in texts translated through the catalog in the language of the process's
/// LC_MESSAGES locale (and LANGUAGE), each missing translation left in English. The first call
/// binds the domain, with UTF-8 as the texts' encoding; the caller sets the locale
/// (setlocale) before. In the "C" locale the texts are the built-in English ones.
const StringTable& localizedStrings();

} // namespace quaylet
