#include "platform/linux/DialogFolderChooser.h"

#include <QAction>
#include <QCoro/QCoroSignal>
#include <QFileDialog>
#include <QListView>
#include <QPointer>
#include <QToolButton>
#include <QTreeView>

namespace {

// Choosing where to search must not change the file system: the read-only option takes
// renaming and deleting out of the views; the "new folder" button and menu entry (internal
// children, like the views below) go too.
void makeReadOnly(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::ReadOnly);
    if (auto* newFolder = dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton")))
        newFolder->hide();
    if (auto* newFolder = dialog.findChild<QAction*>(QStringLiteral("qt_new_folder_action")))
        newFolder->setEnabled(false);
}

// Qt's folder dialog accepts one folder, but its widgets can select several: its list and
// tree views (internal children, not documented API) are switched to extended selection.
// setFileMode resets their selection mode, so this must come after the last call of it.
void allowSeveralFolders(QFileDialog& dialog) {
    if (auto* list = dialog.findChild<QListView*>(QStringLiteral("listView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (auto* tree = dialog.findChild<QTreeView*>())
        tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

QFileDialog* makeDialog(const std::optional<QString>& startFolder) {
    auto* dialog = new QFileDialog();
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setWindowTitle(QStringLiteral("Find dormant projects"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Search"));
    dialog->setLabelText(QFileDialog::LookIn,
                         QStringLiteral("Choose a folder that holds your projects."));
    if (startFolder)
        dialog->setDirectory(*startFolder);
    // Above the panel, which is itself a pop-up.
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    makeReadOnly(*dialog);
    allowSeveralFolders(*dialog);
    return dialog;
}

} // namespace

QCoro::Task<std::optional<QStringList>>
DialogFolderChooser::chooseFolders(std::optional<QString> startFolder) {
    const QPointer<QFileDialog> dialog = makeDialog(startFolder);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    const auto result = co_await qCoro(dialog.data(), &QDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    dialog->deleteLater();
    if (result != QDialog::Accepted)
        co_return std::nullopt;
    co_return dialog->selectedFiles();
}
