// StatusImages: the status icon pictures of the application, shared by name.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace quaylet {

/// Loads the status pictures ("StatusItem", "StatusBusy1", ...) from the application's
/// resources at 1x and 2x, once each, and hands out the shared image of a name.
class StatusImages {
public:
    /// Returns the image called `name`; a null icon when the resources have no such picture.
    QIcon imageNamed(const QString& name);
    /// Marks the shared image called `name` as a template (mask) image, drawn in the colour
    /// the tray chooses. Images handed out earlier keep their old mark.
    void markAsTemplate(const QString& name);

private:
    QHash<QString, QIcon> images_;
};

} // namespace quaylet
