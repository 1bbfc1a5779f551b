// HoldersWindow: the Details window that lists, per volume, everything that holds it.
#pragma once

#include <cstdint>
#include <vector>

#include <QWidget>

#include "eject/holder.h"
#include "platform/string_table.h"

class QTreeWidget;

namespace quaylet {

/// A small window with a tree: one branch per volume, one row per holder with its kind, name,
/// process id, user and path. A process of the user's own gets a button that asks to quit it:
/// "Quit NAME" for a desktop application, else "End process".
class HoldersWindow : public QWidget {
    Q_OBJECT
public:
    /// Creates the window in the texts of `strings`; processes of `ownUid` get a quit button.
    HoldersWindow(const StringTable& strings, std::uint32_t ownUid, QWidget* parent = nullptr);

    /// Replaces the list with `volumes`.
    void setHolders(const std::vector<VolumeHolders>& volumes);
    /// Returns the tree the holders are listed in.
    QTreeWidget* tree() const { return tree_; }

signals:
    /// The user asked to quit the process `holder`; nothing is done here.
    void quitRequested(const quaylet::Holder& holder);

private:
    const StringTable& strings_;
    std::uint32_t ownUid_;
    QTreeWidget* tree_;
};

} // namespace quaylet
