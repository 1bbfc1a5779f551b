// Loading the texts table and filling in its place markers.
#include "app/localized_strings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace quaylet {

QString formatText(const QString& format, const QStringList& arguments) {
    QString result;
    result.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        const QChar next = i + 1 < format.size() ? format.at(i + 1) : QChar();
        if (c == u'%' && next == u'%') {
            result += u'%';
            ++i;
        } else if (c == u'%' && next >= u'1' && next <= u'9' &&
                   next.digitValue() <= arguments.size()) {
            result += arguments.at(next.digitValue() - 1);
            ++i;
        } else {
            result += c;
        }
    }
    return result;
}

LocalizedStrings LocalizedStrings::fromFile(const QString& path) {
    LocalizedStrings strings;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return strings;
    }
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().isString()) {
            strings.texts_.insert(it.key(), it.value().toString());
        }
    }
    return strings;
}

LocalizedStrings LocalizedStrings::forLanguage(const QString& language) {
    const QString path = QStringLiteral(":/strings/%1.json").arg(language);
    if (QFile::exists(path)) {
        return fromFile(path);
    }
    return fromFile(QStringLiteral(":/strings/en.json"));
}

QString LocalizedStrings::text(const QString& key) const {
    return texts_.value(key, key);
}

QString LocalizedStrings::format(const QString& key, const QStringList& arguments) const {
    return formatText(text(key), arguments);
}

} // namespace quaylet
