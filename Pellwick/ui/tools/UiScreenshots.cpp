// Renders the list rows, the card, the gauge, the whole panel in its states and the welcome
// pages to PNG files, in the light palette and (names ending in -dark) the dark one, for
// looking at the widgets without a desktop: ui-screenshots OUTPUT_FOLDER (run with the
// offscreen platform; QT_SCALE_FACTOR=2 shows a high-density screen). The panel runs on a
// model with stand-in services and a temp home.
#include "Updater.h"
#include "platform/AddressOpener.h"
#include "support/FakeEnvironment.h"
#include "ui/GaugeRing.h"
#include "ui/ListCard.h"
#include "ui/OnboardingView.h"
#include "ui/PellwickView.h"
#include "ui/SchemePalette.h"
#include "ui/SweepRow.h"

#include <QCoro/QCoroTask>
#include <QPushButton>
#include <QTest>

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
                  std::int64_t size, bool isSelected, Category category = Category::other) {
    CleanupItem item;
    item.id = std::move(id);
    item.category = category;
    item.title = std::move(title);
    item.detail = std::move(detail);
    item.risk = risk;
    return {item, size, isSelected};
}

// Added to every file name while the dark palette is in use.
QString schemeSuffix;

bool save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.adjustSize();
    const QString path = folder.filePath(name + schemeSuffix + QStringLiteral(".png"));
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

class NoAddresses : public AddressOpener {
public:
    void open(const QString&) override {}
};

// The panel over one model, whose state each shot sets.
struct PanelScene {
    ModelFixture fixture;
    std::unique_ptr<TestableModel> model;
    Updater updater{QUrl()};
    std::unique_ptr<PellwickView> panel;

    explicit PanelScene(std::int64_t freeBytes = 84'234'000'000) {
        fixture.volume->figures = {freeBytes, 500'000'000'000};
        fixture.settings->values.insert(QStringLiteral("onboardingCompleted"), true);
        model = std::make_unique<TestableModel>(fixture.environment());
        model->refreshFreeSpace();
        panel = std::make_unique<PellwickView>(*model, updater, std::make_shared<NoAddresses>());
    }
};

std::vector<AppModel::Row> manyRows() {
    return {
        row("project:/home/me/src/old-app", "old-app", "node_modules, untouched for 94 days.",
            Risk::reinstalls, 1'420'000'000, true, Category::projects),
        row("project:/home/me/src/tool", "tool", "target, untouched for 71 days.", Risk::reinstalls,
            3'100'000'000, true, Category::projects),
        row("npm-cache", "npm cache", "Packages npm downloads again when a project needs them.",
            Risk::regrows, 2'310'000'000, true, Category::javascript),
        row("yarn-cache", "Yarn cache", "Packages Yarn downloads again.", Risk::regrows,
            640'000'000, true, Category::javascript),
        row("pip-cache", "pip cache", "Wheels pip downloads again.", Risk::regrows, 512'000'000,
            true, Category::python),
        row("playwright", "Playwright browsers", "Test browsers Playwright installs again.",
            Risk::reinstalls, 1'800'000'000, false, Category::browserTools),
        row("go-build", "Go build cache", "Compiled packages Go builds again.", Risk::regrows,
            930'000'000, true, Category::other),
    };
}

std::vector<AppModel::Row> blockedRows() {
    auto vscode = row("vscode-app", "VS Code caches", "Web caches of the editor.", Risk::regrows,
                      420'000'000, true, Category::aiTools);
    vscode.item.blockingApps = {"com.microsoft.VSCode"};
    vscode.item.blockingAppName = "Visual Studio Code";
    return {vscode, row("npm-cache", "npm cache", "Packages npm downloads again.", Risk::regrows,
                        2'310'000'000, true, Category::javascript)};
}

// Real files for the sweep flow, which measures again before it asks.
void fillHome(const TempTree& home) {
    home.file(".npm/_cacache/content-v2/sha512/aa/one", 3'000'000);
    home.file(".npm/_cacache/content-v2/sha512/bb/two", 1'200'000);
    home.file(".cache/pip/http/cached", 2'500'000);
}

bool savePanelStates(const QDir& folder) {
    bool saved = true;
    {
        PanelScene scene;
        saved = save(*scene.panel, folder, QStringLiteral("panel-looking-around")) && saved;
    }
    {
        PanelScene scene;
        scene.model->setRows(manyRows());
        saved = save(*scene.panel, folder, QStringLiteral("panel-scrolling")) && saved;
    }
    {
        PanelScene scene;
        scene.model->setRows(blockedRows());
        scene.model->setRunningApps({"com.microsoft.VSCode"});
        scene.model->setNotificationsDenied(true);
        saved = save(*scene.panel, folder, QStringLiteral("panel-blocked-row")) && saved;
    }
    {
        PanelScene scene;
        fillHome(scene.fixture.home);
        QCoro::waitFor(scene.model->refresh());
        scene.panel->findChild<QPushButton*>(QStringLiteral("sweepButton"))->click();
        const bool confirming = QTest::qWaitFor(
            [&] {
                return !scene.panel->findChild<QWidget*>(QStringLiteral("confirmation"))
                            ->isHidden();
            },
            20'000);
        saved =
            confirming && save(*scene.panel, folder, QStringLiteral("panel-confirming")) && saved;
    }
    {
        PanelScene scene;
        scene.model->setRows(manyRows());
        scene.model->setPhase(AppModel::Done{6'480'000'000, 3});
        saved = save(*scene.panel, folder, QStringLiteral("panel-done")) && saved;
    }
    {
        PanelScene scene;
        scene.model->setRows(manyRows());
        scene.model->setPhase(
            AppModel::Failed{"npm cache: Refused to touch /home/me/.npm/_cacache."});
        saved = save(*scene.panel, folder, QStringLiteral("panel-failed")) && saved;
    }
    {
        PanelScene scene(8'400'000'000);
        scene.model->setRows(blockedRows());
        saved = save(*scene.panel, folder, QStringLiteral("panel-low-space")) && saved;
    }
    return saved;
}

bool saveWelcomePages(const QDir& folder) {
    PanelScene scene;
    OnboardingView welcome(*scene.model, scene.fixture.settings);
    welcome.show();
    bool saved = true;
    for (int page = 1; page <= OnboardingView::pageCount; ++page) {
        saved = save(welcome, folder, QStringLiteral("welcome-%1").arg(page)) && saved;
        welcome.findChild<QPushButton*>(QStringLiteral("primary"))->click();
    }
    return saved;
}

bool saveAll(const QDir& folder) {
    const std::unique_ptr<QWidget> rows(rowsCard());
    const std::unique_ptr<QWidget> rings(gauges());
    bool saved = save(*rows, folder, QStringLiteral("rows"));
    saved = save(*rings, folder, QStringLiteral("gauges")) && saved;
    saved = savePanelStates(folder) && saved;
    return saveWelcomePages(folder) && saved;
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
    QApplication::setPalette(SchemePalette::light());
    bool saved = saveAll(folder);
    QApplication::setPalette(SchemePalette::dark());
    schemeSuffix = QStringLiteral("-dark");
    saved = saveAll(folder) && saved;
    return saved ? 0 : 1;
}
