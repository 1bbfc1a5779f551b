// The message catalog through glibc's gettext: the string keys are the message identifiers.
#include "platform/linux/message_catalog.h"

#include <filesystem>

#include <libintl.h>

namespace quaylet {

std::string messageCatalogDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty()) {
        const std::filesystem::path beside = self.parent_path().parent_path() / "share" / "locale";
        if (std::filesystem::is_directory(beside, error)) {
            return beside.string();
        }
    }
    return QUAYLET_LOCALE_DIR;
}

const StringTable& localizedStrings() {
    static const StringTable table = [] {
        bindtextdomain(kMessageDomain, messageCatalogDirectory().c_str());
        bind_textdomain_codeset(kMessageDomain, "UTF-8");
        return StringTable::builtIn().translated(
            [](std::string_view key) -> std::optional<std::string> {
                const std::string id(key);
                const char* text = dgettext(kMessageDomain, id.c_str());
                // gettext hands back the identifier itself when it has no translation.
                if (text == nullptr || id == text) {
                    return std::nullopt;
                }
                return std::string(text);
            });
    }();
    return table;
}

} // namespace quaylet
