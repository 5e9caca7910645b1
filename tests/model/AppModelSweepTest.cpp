#include "support/FakeEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

bool isEmptyFolder(const fs::path& folder) {
    return fs::is_directory(folder) && fs::is_empty(folder);
}

struct SweepFixture : ModelUnderTest {
    SweepFixture() { make(); }
    void scan() { QCoro::waitFor(model->scan()); }
    void sweep() { QCoro::waitFor(model->sweep()); }
};

TEST(Sweep, CleansTheSelectedRowsAndReportsWhatWasCleared) {
    SweepFixture f;
    f.home.file(".npm/_cacache/content/a", 20'000);
    f.home.file(".cache/uv/wheels/b", 30'000);
    f.home.file(".cache/pip/http/c", 5'000);
    f.scan();
    f.model->toggle("pip-cache"); // the user keeps pip's cache
    const auto expected = f.size("npm-cache") + f.size("uv-cache");

    f.sweep();

    EXPECT_EQ(f.model->phase(), AppModel::Phase(AppModel::Done{expected, 0}));
    EXPECT_TRUE(isEmptyFolder(f.home / ".npm/_cacache"));
    EXPECT_TRUE(isEmptyFolder(f.home / ".cache/uv"));
    EXPECT_TRUE(fs::exists(f.home / ".cache/pip/http/c"));
    EXPECT_EQ(f.size("npm-cache"), 0); // measured again afterwards
    EXPECT_FALSE(f.row("pip-cache")->isSelected);
    f.model->dismissOutcome();
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());
}

// The tools are listed again as the sweep starts: a row whose tool runs is left, selected,
// and swept once the tool has quit. With nothing else to sweep the phase stays as it was.
TEST(Sweep, ABlockedRowIsSweptOnlyOnceItsToolQuits) {
    SweepFixture f;
    f.home.file(".cache/yarn/pkg", 8'000);
    f.scan();
    f.model->setPhase(AppModel::Done{5, 1});
    f.processes->names = {"yarn"};
    QSignalSpy phases(f.model.get(), &AppModel::phaseChanged);

    f.sweep();
    EXPECT_EQ(phases.count(), 0);
    EXPECT_TRUE(fs::exists(f.home / ".cache/yarn/pkg"));
    EXPECT_TRUE(f.row("yarn-cache")->isSelected);

    f.processes->names.clear();
    f.sweep();
    EXPECT_TRUE(isEmptyFolder(f.home / ".cache/yarn"));
}

TEST(Sweep, AFailureStopsAtItsRowAndTheListIsMeasuredAgain) {
    SweepFixture f;
    f.home.file(".npm/_cacache/a", 10'000);
    f.home.file("Library/Caches/pip/b", 10'000);
    f.home.file("elsewhere/keep", 10'000);
    f.home.link(".cache/pip", f.home / "elsewhere"); // a root that became a link
    f.home.file(".cache/uv/c", 10'000);
    f.scan();

    f.sweep();

    const std::string refused = (f.home / ".cache/pip").string();
    EXPECT_EQ(f.model->phase(),
              AppModel::Phase(AppModel::Failed{"pip cache: Refused to touch " + refused + "."}));
    EXPECT_TRUE(isEmptyFolder(f.home / ".npm/_cacache"));
    EXPECT_TRUE(isEmptyFolder(f.home / "Library/Caches/pip")); // roots before the error
    EXPECT_TRUE(fs::exists(f.home / "elsewhere/keep"));
    EXPECT_TRUE(fs::exists(f.home / ".cache/uv/c")); // later rows untouched
    EXPECT_EQ(f.size("npm-cache"), 0);
    EXPECT_GT(f.size("uv-cache"), 0);
}

// Removing a folder changes a date inside the project that holds it, which must not make that
// project look touched in the same sweep: projects go before caches (here a moved cache inside
// a project), and an outer project before the one inside it. A project touched since the scan
// is left alone and counted so.
TEST(Sweep, RemovesDormantProjectFoldersBeforeAnythingInsideThemChanges) {
    SweepFixture f;
    f.home.file("Developing/shop/package.json");
    f.home.file("Developing/shop/node_modules/react/index.js", 40'000);
    f.home.file("Developing/shop/src/app.js", 100);
    f.home.file("Developing/shop/packages/web/package.json");
    f.home.file("Developing/shop/packages/web/node_modules/big/index.js", 90'000);
    f.home.file("Developing/shop/moved-pip/wheel", 10'000);
    f.home.file("Developing/blog/package.json");
    f.home.file("Developing/blog/node_modules/vue/index.js", 30'000);
    setModifiedTree(f.home / "Developing", daysAgo(90));
    f.model->setCustomLocations({{"pip-cache", {f.home / "Developing/shop/moved-pip"}}});
    f.model->setProjectRoots({f.home / "Developing"});
    QCoro::waitFor(f.model->scanProjects());
    ASSERT_EQ(f.model->projectItems().size(), 3u);
    for (const auto& item : f.model->projectItems())
        f.model->toggle(item.id);
    f.scan();
    f.home.file("Developing/blog/src/new.js"); // the user is back at work on the blog

    f.sweep();

    ASSERT_TRUE(f.phaseIs<AppModel::Done>());
    EXPECT_EQ(std::get<AppModel::Done>(f.model->phase()).skippedItems, 1);
    EXPECT_FALSE(fs::exists(f.home / "Developing/shop/node_modules"));
    EXPECT_FALSE(fs::exists(f.home / "Developing/shop/packages/web/node_modules"));
    EXPECT_TRUE(isEmptyFolder(f.home / "Developing/shop/moved-pip"));
    EXPECT_TRUE(fs::exists(f.home / "Developing/shop/src/app.js"));
    EXPECT_TRUE(fs::exists(f.home / "Developing/blog/node_modules/vue/index.js"));
    EXPECT_TRUE(f.model->projectItems().empty()); // scanned again: nothing left to offer
    EXPECT_FALSE(f.model->isScanningProjects());
}

} // namespace
