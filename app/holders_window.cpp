// The Details window: a tree of volumes and their holders, with a quit button for the user's
// own processes.
#include "app/holders_window.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/localized_text.h"

namespace quaylet {
namespace {

enum Column { NameColumn, KindColumn, PidColumn, UserColumn, PathColumn, ActionColumn };

const char* kindKey(Holder::Kind kind) {
    switch (kind) {
    case Holder::Kind::Process:
        return "HOLDER_KIND_PROCESS";
    case Holder::Kind::AttachedImage:
        return "HOLDER_KIND_ATTACHED_IMAGE";
    case Holder::Kind::SwapFile:
        return "HOLDER_KIND_SWAP_FILE";
    case Holder::Kind::MountInside:
        return "HOLDER_KIND_MOUNT_INSIDE";
    case Holder::Kind::NfsExport:
        break;
    }
    return "HOLDER_KIND_NFS_EXPORT";
}

} // namespace

HoldersWindow::HoldersWindow(const StringTable& strings, std::uint32_t ownUid, QWidget* parent)
    : QWidget(parent, Qt::Window), strings_(strings), ownUid_(ownUid),
      tree_(new QTreeWidget(this)) {
    setWindowTitle(localizedText(strings, "HOLDERS_WINDOW_TITLE"));
    tree_->setHeaderLabels({localizedText(strings, "HOLDERS_COLUMN_HOLDER"),
                            localizedText(strings, "HOLDERS_COLUMN_KIND"),
                            localizedText(strings, "HOLDERS_COLUMN_PID"),
                            localizedText(strings, "HOLDERS_COLUMN_USER"),
                            localizedText(strings, "HOLDERS_COLUMN_PATH"), QString()});
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->setRootIsDecorated(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    resize(720, 320);
}

void HoldersWindow::setHolders(const std::vector<VolumeHolders>& volumes) {
    tree_->clear();
    for (const VolumeHolders& volume : volumes) {
        auto* branch = new QTreeWidgetItem(tree_);
        branch->setText(NameColumn, QString::fromStdString(volume.volumeName));
        branch->setText(PathColumn, QString::fromStdString(volume.mountPoint));
        if (volume.holders.empty()) {
            new QTreeWidgetItem(branch, {localizedText(strings_, "HOLDERS_NONE_FOUND")});
        }
        for (const Holder& holder : volume.holders) {
            const bool process = holder.kind == Holder::Kind::Process;
            QString path = QString::fromStdString(holder.path);
            if (!holder.detail.empty()) {
                path += QStringLiteral(" (%1)").arg(QString::fromStdString(holder.detail));
            }
            auto* row =
                new QTreeWidgetItem(branch, {QString::fromStdString(holder.name),
                                             localizedText(strings_, kindKey(holder.kind)),
                                             process ? QString::number(holder.pid) : QString(),
                                             QString::fromStdString(holder.user), path});
            if (!process || holder.uid != ownUid_) {
                continue; // only the user's own processes may be asked to quit
            }
            const QString label =
                holder.desktopEntry.empty()
                    ? localizedText(strings_, "DETAILS_END_PROCESS")
                    : QString::fromStdString(strings_.format("DETAILS_QUIT_HOLDER", {holder.name}));
            auto* button = new QPushButton(label, tree_);
            connect(button, &QPushButton::clicked, this,
                    [this, holder] { emit quitRequested(holder); });
            tree_->setItemWidget(row, ActionColumn, button);
        }
    }
    tree_->expandAll();
}

} // namespace quaylet
