// Desktop entries through GLib's key-file reader, which knows the format's escapes and groups.
#include "app/autostart_entry.h"

#include <algorithm>
#include <memory>

#include <glib.h>

#include <QFile>

namespace quaylet {

namespace {

constexpr const char* kGroup = "Desktop Entry";

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
struct TextDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
struct WordsDeleter {
    void operator()(gchar** words) const { g_strfreev(words); }
};

using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;
using Text = std::unique_ptr<gchar, TextDeleter>;
using Words = std::unique_ptr<gchar*, WordsDeleter>;

} // namespace

std::optional<AutostartEntry> readAutostartEntry(const QString& path) {
    const KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), QFile::encodeName(path).constData(), G_KEY_FILE_NONE,
                                   nullptr)) {
        return std::nullopt;
    }
    const Text exec(g_key_file_get_string(file.get(), kGroup, "Exec", nullptr));
    gchar** parsed = nullptr;
    if (!exec || !g_shell_parse_argv(exec.get(), nullptr, &parsed, nullptr)) {
        return std::nullopt;
    }
    const Words words(parsed);
    AutostartEntry entry;
    entry.program = QString::fromUtf8(words.get()[0]);
    entry.program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    // A missing or unreadable key reads as false: Hidden defaults to off, and the GNOME key
    // counts only when it says false.
    GError* error = nullptr;
    const bool gnomeEnabled =
        g_key_file_get_boolean(file.get(), kGroup, "X-GNOME-Autostart-enabled", &error);
    const bool gnomeOff = !error && !gnomeEnabled;
    g_clear_error(&error);
    entry.enabled = !g_key_file_get_boolean(file.get(), kGroup, "Hidden", nullptr) && !gnomeOff;
    return entry;
}

QString quoteExecArgument(const QString& argument) {
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = argument;
    quoted.replace(u'%', QStringLiteral("%%"));
    const bool needsQuotes = std::any_of(argument.begin(), argument.end(),
                                         [](QChar c) { return kReserved.contains(c); });
    if (!needsQuotes) {
        return quoted;
    }
    QString escaped;
    for (const QChar c : quoted) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            escaped += u'\\';
        }
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

bool writeAutostartEntry(const QString& path, const QString& executable) {
    const KeyFile file(g_key_file_new());
    g_key_file_set_string(file.get(), kGroup, "Type", "Application");
    g_key_file_set_string(file.get(), kGroup, "Name", "Quaylet");
    g_key_file_set_string(file.get(), kGroup, "Comment", "Safely unplug a Thunderbolt dock");
    g_key_file_set_string(file.get(), kGroup, "TryExec", executable.toUtf8().constData());
    g_key_file_set_string(file.get(), kGroup, "Exec",
                          quoteExecArgument(executable).toUtf8().constData());
    g_key_file_set_string(file.get(), kGroup, "Icon", "quaylet");
    g_key_file_set_boolean(file.get(), kGroup, "Terminal", FALSE);
    return g_key_file_save_to_file(file.get(), QFile::encodeName(path).constData(), nullptr);
}

} // namespace quaylet
