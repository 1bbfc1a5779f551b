// LocalizedStrings: the application's user-visible texts, looked up by key.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quaylet {

/// Replaces the place markers %1 to %9 of `format` with `arguments` in one pass, so that a
/// marker or a "%" inside an argument stays text; "%%" gives "%". A marker without an argument
/// stays as it is.
QString formatText(const QString& format, const QStringList& arguments);

/// A table of texts by key, loaded from a JSON object of strings.
class LocalizedStrings {
public:
    LocalizedStrings() = default;
    /// Loads the table from `path`; an unreadable or malformed file gives an empty table.
    static LocalizedStrings fromFile(const QString& path);
    /// Loads the table of `language` ("de", "en") from the application's resources, falling
    /// back to English when there is none for it.
    static LocalizedStrings forLanguage(const QString& language);

    /// Returns the text of `key`; the key itself when the table has no text for it.
    QString text(const QString& key) const;
    /// Returns the text of `key` with its place markers replaced by `arguments` (formatText).
    QString format(const QString& key, const QStringList& arguments) const;
    /// Returns the number of texts in the table.
    qsizetype size() const { return texts_.size(); }

    /// Adds or replaces the text of `key`.
    void insert(const QString& key, const QString& text) { texts_.insert(key, text); }

private:
    QHash<QString, QString> texts_;
};

} // namespace quaylet
