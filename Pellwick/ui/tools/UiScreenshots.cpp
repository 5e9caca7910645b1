// Renders the list rows, the card and the gauge in their states to PNG files, for looking at
// the widgets without a desktop: ui-screenshots OUTPUT_FOLDER (run with the offscreen
// platform).
#include "ui/GaugeRing.h"
#include "ui/ListCard.h"
#include "ui/SweepRow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QPalette>
#include <QWidget>

#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

AppModel::Row row(std::string id, std::string title, std::string detail, Risk risk,
                  std::int64_t size, bool isSelected) {
    CleanupItem item;
    item.id = std::move(id);
    item.title = std::move(title);
    item.detail = std::move(detail);
    item.risk = risk;
    return {item, size, isSelected};
}

bool save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.adjustSize();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(path)) {
        std::cerr << "could not write " << path.toStdString() << '\n';
        return false;
    }
    std::cout << path.toStdString() << '\n';
    return true;
}

QWidget* rowsCard() {
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(16, 16, 16, 16);
    auto* card = new ListCard(page);
    pageLayout->addWidget(card);
    auto* list = new QVBoxLayout(card);
    list->setContentsMargins(10, 10, 10, 10);
    list->setSpacing(10);
    const std::optional<std::string> none;
    list->addWidget(new SweepRow(row("derived-data", "Xcode build products",
                                     "Build folders Xcode makes again on the next build.",
                                     Risk::regrows, 12'340'000'000, true),
                                 none, false));
    list->addWidget(new SweepRow(row("npm-cache", "npm cache",
                                     "Packages npm downloads again when a project needs them.",
                                     Risk::regrows, 1'150'000, true),
                                 none, true));
    list->addWidget(new SweepRow(row("simulators", "Simulator contents",
                                     "Apps and data installed in the simulators.", Risk::resets,
                                     84'234'000'000, false),
                                 none, false));
    list->addWidget(new SweepRow(row("vscode-app", "VS Code caches", "Web caches of the editor.",
                                     Risk::regrows, 420'000'000, true),
                                 std::string("Quit Visual Studio Code to sweep this."), true));
    list->addWidget(
        new SweepRow(row("project:/home/me/src/old-app", "old-app",
                         "node_modules, untouched for 94 days.", Risk::reinstalls, 999, true),
                     none, false));
    page->setFixedWidth(420);
    return page;
}

QWidget* gauges() {
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    for (const double fraction : {0.0, 0.005, 0.25, 0.5, 0.83, 1.0})
        layout->addWidget(new GaugeRing(fraction, false, page));
    layout->addWidget(new GaugeRing(0.93, true, page));
    return page;
}

// A dark theme's roles, to check that every colour follows the palette.
QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 42));
    palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(235, 235, 235));
    palette.setColor(QPalette::Button, QColor(50, 50, 52));
    palette.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
    return palette;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: ui-screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::cerr << "could not create " << argv[1] << '\n';
        return 1;
    }
    const std::unique_ptr<QWidget> rows(rowsCard());
    const std::unique_ptr<QWidget> rings(gauges());
    bool saved = save(*rows, folder, QStringLiteral("rows")) &&
                 save(*rings, folder, QStringLiteral("gauges"));
    rows->setPalette(darkPalette());
    rings->setPalette(darkPalette());
    saved = saved && save(*rows, folder, QStringLiteral("rows-dark")) &&
            save(*rings, folder, QStringLiteral("gauges-dark"));
    return saved ? 0 : 1;
}
