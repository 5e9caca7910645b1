// One smoke test of the real dialog: the multiple selection depends on Qt's internal widget
// names, which a Qt update could change.
#include "platform/linux/DialogFolderChooser.h"
#include "platform/QtPrinting.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void clickRow(QListView& list, int row, Qt::KeyboardModifiers modifiers) {
    const QModelIndex index = list.model()->index(row, 0, list.rootIndex());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualRect(index).center());
}

TEST(DialogFolderChooser, ChoosesSeveralFolders) {
    const TempTree tree;
    const QString alpha = QString::fromStdString(tree.folder("alpha").string());
    const QString beta = QString::fromStdString(tree.folder("beta").string());
    (void)tree.file("notes.txt");
    // What the chooser answered, once it has.
    const auto answer = std::make_shared<std::optional<std::optional<QStringList>>>();
    DialogFolderChooser chooser;
    chooser.chooseFolders(QString::fromStdString(tree.root().string()))
        .then([answer](std::optional<QStringList> chosen) { *answer = std::move(chosen); });
    QFileDialog* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible())
            dialog = found;
    ASSERT_NE(dialog, nullptr);
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    // Read-only: no folder can be created, renamed or deleted from the chooser.
    EXPECT_TRUE(qobject_cast<QFileSystemModel*>(list->model())->isReadOnly());
    // Only the two folders are listed (no files); the user clicks one and Ctrl-clicks the other.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }, 10'000));
    clickRow(*list, 0, Qt::NoModifier);
    clickRow(*list, 1, Qt::ControlModifier);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer->has_value(); }, 10'000));
    ASSERT_TRUE(answer->value().has_value());
    QStringList chosen = *answer->value();
    chosen.sort();
    EXPECT_EQ(chosen, (QStringList{alpha, beta}));
}

} // namespace
