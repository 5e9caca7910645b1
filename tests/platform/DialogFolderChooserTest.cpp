// One smoke test of the real dialog: the multiple selection depends on Qt's internal widget
// names, which a Qt update could change.
#include "platform/linux/DialogFolderChooser.h"
#include "platform/QtPrinting.h"
#include "support/TempTree.h"

#include <QAction>
#include <QApplication>
#include <QCoro/QCoroTask>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QFileDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

void clickRow(QListView& list, int row, Qt::KeyboardModifiers modifiers) {
    const QModelIndex index = list.model()->index(row, 0, list.rootIndex());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualRect(index).center());
}

struct Outcome {
    bool finished = false;
    std::optional<QStringList> folders;
};

// Starts the chooser and records its answer when it comes.
QCoro::Task<> record(std::shared_ptr<DialogFolderChooser> chooser, QString startFolder,
                     std::shared_ptr<Outcome> outcome) {
    outcome->folders = co_await chooser->chooseFolders(startFolder);
    outcome->finished = true;
}

TEST(DialogFolderChooser, ChoosesSeveralFoldersAndNothingWhenCancelled) {
    const TempTree tree;
    const QString alpha = QString::fromStdString(tree.folder("alpha").string());
    const QString beta = QString::fromStdString(tree.folder("beta").string());
    (void)tree.file("notes.txt");
    const QString start = QString::fromStdString(tree.root().string());
    const auto chooser = std::make_shared<DialogFolderChooser>();

    auto outcome = std::make_shared<Outcome>();
    record(chooser, start, outcome);
    QFileDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    // Read-only: no folder can be created, renamed or deleted from the chooser.
    const auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    ASSERT_NE(newFolder, nullptr);
    EXPECT_FALSE(newFolder->isVisible());
    EXPECT_TRUE(qobject_cast<QFileSystemModel*>(list->model())->isReadOnly());
    for (const char* name : {"qt_new_folder_action", "qt_rename_action", "qt_delete_action"}) {
        const auto* action = dialog->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        EXPECT_FALSE(action->isEnabled()) << name;
    }

    // Only the two folders are listed (no files); the user clicks one and Ctrl-clicks the other.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }, 10'000));
    clickRow(*list, 0, Qt::NoModifier);
    clickRow(*list, 1, Qt::ControlModifier);
    QPushButton* search = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
    EXPECT_EQ(search->text(), "Search");
    QTest::mouseClick(search, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome->finished; }, 10'000));
    ASSERT_TRUE(outcome->folders.has_value());
    QStringList chosen = *outcome->folders;
    chosen.sort();
    EXPECT_EQ(chosen, (QStringList{alpha, beta}));

    auto cancelled = std::make_shared<Outcome>();
    record(chooser, start, cancelled);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = openDialog()) != nullptr; }, 10'000));
    dialog->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled->finished; }, 10'000));
    EXPECT_EQ(cancelled->folders, std::nullopt);
}

} // namespace
