// Loading the status pictures from the resources, at both pixel densities.
#include "app/status_images.h"

#include <QFile>

namespace quaylet {

QIcon StatusImages::imageNamed(const QString& name) {
    if (const auto found = images_.constFind(name); found != images_.cend()) {
        return *found;
    }
    QIcon image;
    for (const QString& suffix : {QStringLiteral(".png"), QStringLiteral("@2x.png")}) {
        const QString path = QStringLiteral(":/icons/status/") + name + suffix;
        if (QFile::exists(path)) {
            image.addFile(path);
        }
    }
    images_.insert(name, image);
    return image;
}

void StatusImages::markAsTemplate(const QString& name) {
    QIcon image = imageNamed(name);
    image.setIsMask(true);
    images_.insert(name, image);
}

} // namespace quaylet
