#include "support/FakeEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct SweepFixture : ModelUnderTest {
    SweepFixture() { make(); }
    void scan() { QCoro::waitFor(model->scan()); }
    void sweep() { QCoro::waitFor(model->sweep()); }
};

// The main path: the catalog is measured in the home folder and published once per real change,
// a rebuild measures again and keeps the user's choices, and the sweep cleans the selected rows,
// measures them again and reports what it cleared (the sizes the rebuild found). The tools are
// listed again as the sweep starts: a row whose tool runs now is left, selected.
TEST(Sweep, ScansThenCleansTheSelectedRowsAndReportsWhatWasCleared) {
    SweepFixture f;
    for (const char* file :
         {".npm/_cacache/content/a", ".cache/uv/wheels/b", ".cache/pip/http/c", ".cache/yarn/pkg"})
        f.home.file(file, 20'000);
    QSignalSpy rows(f.model.get(), &AppModel::rowsChanged);
    f.scan();
    ASSERT_EQ(f.model->rows().size(), 27u);
    EXPECT_GE(f.size("uv-cache"), 20'000);
    f.scan(); // nothing changed on disk: no new rows
    EXPECT_EQ(rows.count(), 1);

    f.model->toggle("pip-cache");  // selected by default: the user keeps pip's cache
    f.model->toggle("simulators"); // off by default: now on
    f.home.file(".npm/_cacache/content/new", 4'000);
    QCoro::waitFor(f.model->rebuildRows());
    EXPECT_TRUE(f.row("simulators")->isSelected);
    const auto expected = f.size("npm-cache") + f.size("uv-cache");
    f.processes->names = {"yarn"};

    f.sweep();

    EXPECT_EQ(f.model->phase(), AppModel::Phase(AppModel::Done{expected, 0}));
    EXPECT_TRUE(fs::exists(f.home / ".cache/pip/http/c"));
    EXPECT_TRUE(fs::exists(f.home / ".cache/yarn/pkg"));
    EXPECT_EQ(f.size("npm-cache"), 0); // measured again afterwards
    EXPECT_TRUE(f.row("yarn-cache")->isSelected);
    f.model->dismissOutcome();
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());
}

TEST(Sweep, AFailureStopsAtItsRowAndTheListIsMeasuredAgain) {
    SweepFixture f;
    f.home.file(".npm/_cacache/a", 10'000);
    f.home.file("Library/Caches/pip/b", 10'000); // the row's other root: it has a size
    f.home.file("elsewhere/keep", 10'000);
    f.home.link(".cache/pip", f.home / "elsewhere"); // a root that became a link
    f.home.file(".cache/uv/c", 10'000);
    f.scan();

    f.sweep();

    const std::string refused = (f.home / ".cache/pip").string();
    EXPECT_EQ(f.model->phase(),
              AppModel::Phase(AppModel::Failed{"pip cache: Refused to touch " + refused + "."}));
    EXPECT_TRUE(fs::exists(f.home / ".cache/uv/c")); // later rows untouched
    EXPECT_EQ(f.size("npm-cache"), 0);
}

// The project workflow end to end. A folder chosen is searched and stored for the next launch;
// its dormant projects become unselected rows, and choosing the folder again searches it once
// more and keeps the user's choice. Removing a folder changes a date inside the project that
// holds it, which must not make that project look touched in the same sweep: projects go before
// caches (here a moved cache inside a project), and an outer project before the one inside it.
// A project touched since the scan is left alone and counted so. A root no longer searched takes
// its projects along at once.
TEST(Sweep, OffersDormantProjectsAndRemovesThemBeforeAnythingInsideThemChanges) {
    SweepFixture f;
    for (const char* file :
         {"shop/package.json", "shop/node_modules/react/index.js", "shop/src/app.js",
          "shop/packages/web/package.json", "shop/packages/web/node_modules/big/index.js",
          "shop/moved-pip/wheel", "blog/package.json", "blog/node_modules/vue/index.js",
          "old/package.json", "old/node_modules/a.js", "old/.next/cache/page"})
        f.home.file(fs::path("Developing") / file, 10'000);
    setModifiedTree(f.home / "Developing", daysAgo(90));
    const auto project = [&](const char* name) {
        return "project:" + (f.home / "Developing" / name).string();
    };
    f.model->setCustomLocations({{"pip-cache", {f.home / "Developing/shop/moved-pip"}}});
    QSignalSpy scanning(f.model.get(), &AppModel::isScanningProjectsChanged);
    f.chooser->answer = QStringList{QString::fromStdString((f.home / "Developing").string())};
    QCoro::waitFor(f.model->addProjectFolders());
    EXPECT_EQ(scanning.count(), 2);
    EXPECT_EQ(AppModel(f.environment()).projectRoots(), f.model->projectRoots());
    ASSERT_EQ(f.model->projectItems().size(), 4u);
    ASSERT_NE(f.row(project("old")), nullptr);
    EXPECT_EQ(f.row(project("old"))->item.detail,
              ".next, node_modules in ~/Developing. Untouched for 60+ days.");
    EXPECT_FALSE(f.row(project("old"))->isSelected);
    for (const char* name : {"shop", "shop/packages/web", "blog"})
        f.model->toggle(project(name));
    QCoro::waitFor(f.model->addProjectFolders());
    EXPECT_EQ(f.model->projectRoots().size(), 1u);
    f.scan();
    f.home.file("Developing/blog/src/new.js"); // the user is back at work on the blog

    f.sweep();

    ASSERT_TRUE(f.phaseIs<AppModel::Done>());
    EXPECT_EQ(std::get<AppModel::Done>(f.model->phase()).skippedItems, 1);
    EXPECT_FALSE(fs::exists(f.home / "Developing/shop/node_modules"));
    EXPECT_FALSE(fs::exists(f.home / "Developing/shop/packages/web/node_modules"));
    EXPECT_FALSE(fs::exists(f.home / "Developing/shop/moved-pip/wheel"));
    EXPECT_TRUE(fs::exists(f.home / "Developing/shop/src/app.js"));
    EXPECT_TRUE(fs::exists(f.home / "Developing/blog/node_modules/vue/index.js"));
    // Scanned again: only the project the user left unselected is still offered.
    EXPECT_EQ(f.model->projectItems().size(), 1u);

    f.model->setProjectRoots({});
    EXPECT_TRUE(f.model->projectItems().empty()); // at once, before any rescan
    EXPECT_EQ(f.row(project("old")), nullptr);
}

} // namespace
