#include "AppModel.h"
#include "support/FakeEnvironment.h"
#include "support/TempTree.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const AppModel::Row& rowWithId(const AppModel& model, const std::string& id) {
    for (const auto& row : model.rows()) {
        if (row.item.id == id)
            return row;
    }
    throw std::out_of_range(id);
}

bool isEmptyFolder(const fs::path& folder) {
    return fs::is_directory(folder) && fs::is_empty(folder);
}

struct SweepFixture : ModelFixture {
    TestableModel model{environment()};

    void scan() { QCoro::waitFor(model.scan()); }
    void sweep() { QCoro::waitFor(model.sweep()); }
};

TEST(Sweep, CleansTheSelectedRowsAndReportsWhatWasCleared) {
    SweepFixture fixture;
    fixture.home.file(".npm/_cacache/content/a", 20'000);
    fixture.home.file(".cache/uv/wheels/b", 30'000);
    fixture.home.file(".cache/pip/http/c", 5'000);
    fixture.scan();
    fixture.model.toggle("pip-cache"); // the user keeps pip's cache
    const auto expected =
        rowWithId(fixture.model, "npm-cache").size + rowWithId(fixture.model, "uv-cache").size;

    fixture.sweep();

    EXPECT_EQ(fixture.model.phase(), AppModel::Phase(AppModel::Done{expected, 0}));
    EXPECT_TRUE(isEmptyFolder(fixture.home / ".npm/_cacache"));
    EXPECT_TRUE(isEmptyFolder(fixture.home / ".cache/uv"));
    EXPECT_TRUE(fs::exists(fixture.home / ".cache/pip/http/c"));
    EXPECT_EQ(rowWithId(fixture.model, "npm-cache").size, 0); // re-measured afterwards
    EXPECT_FALSE(rowWithId(fixture.model, "pip-cache").isSelected);

    fixture.model.dismissOutcome();
    EXPECT_EQ(fixture.model.phase(), AppModel::Phase(AppModel::Idle{}));
}

TEST(Sweep, NothingToSweepLeavesThePhaseAlone) {
    SweepFixture fixture;
    fixture.home.file(".cache/yarn/pkg", 8'000);
    fixture.scan();
    fixture.model.setPhase(AppModel::Done{5, 1});
    fixture.processes->set({"yarn"}); // the only non-empty row is blocked
    QSignalSpy phases(&fixture.model, &AppModel::phaseChanged);

    fixture.sweep();

    EXPECT_EQ(phases.count(), 0);
    EXPECT_TRUE(fs::exists(fixture.home / ".cache/yarn/pkg"));
}

TEST(Sweep, ABlockedRowKeepsItsSelectionAndIsSweptOnceTheToolQuits) {
    SweepFixture fixture;
    fixture.home.file(".cache/yarn/pkg", 8'000);
    fixture.home.file(".npm/_cacache/x", 8'000);
    fixture.scan();
    fixture.processes->set({"yarn", "node"});
    fixture.apps->set({"com.microsoft.VSCode"});

    fixture.sweep();
    EXPECT_TRUE(fs::exists(fixture.home / ".cache/yarn/pkg"));
    EXPECT_TRUE(rowWithId(fixture.model, "yarn-cache").isSelected);
    EXPECT_EQ(fixture.model.blockMessage(rowWithId(fixture.model, "yarn-cache")),
              "Wait for yarn to finish, then sweep this.");
    EXPECT_TRUE(isEmptyFolder(fixture.home / ".npm/_cacache"));

    fixture.processes->set({});
    fixture.sweep();
    EXPECT_TRUE(isEmptyFolder(fixture.home / ".cache/yarn"));
}

TEST(Sweep, AFailureStopsAtItsRowAndTheListIsMeasuredAgain) {
    SweepFixture fixture;
    fixture.home.file(".npm/_cacache/a", 10'000);
    fixture.home.file("Library/Caches/pip/b", 10'000);
    fixture.home.file("elsewhere/keep", 10'000);
    fixture.home.link(".cache/pip", fixture.home / "elsewhere"); // a root that became a link
    fixture.home.file(".cache/uv/c", 10'000);
    fixture.scan();

    fixture.sweep();

    const std::string refused = (fixture.home / ".cache/pip").string();
    EXPECT_EQ(fixture.model.phase(),
              AppModel::Phase(AppModel::Failed{"pip cache: Refused to touch " + refused + "."}));
    EXPECT_TRUE(isEmptyFolder(fixture.home / ".npm/_cacache"));
    EXPECT_TRUE(isEmptyFolder(fixture.home / "Library/Caches/pip")); // roots before the error
    EXPECT_TRUE(fs::exists(fixture.home / "elsewhere/keep"));
    EXPECT_TRUE(fs::exists(fixture.home / ".cache/uv/c")); // later rows untouched
    EXPECT_EQ(rowWithId(fixture.model, "npm-cache").size, 0);
    EXPECT_GT(rowWithId(fixture.model, "uv-cache").size, 0);
}

TEST(Sweep, ASecondSweepWhileTheFirstListsToolsIsRefused) {
    SweepFixture fixture;
    fixture.home.file(".npm/_cacache/a", 10'000);
    fixture.scan();
    QSignalSpy phases(&fixture.model, &AppModel::phaseChanged);

    auto first = fixture.model.sweep();
    auto second = fixture.model.sweep(); // arrives while the first awaits the tool listing
    QCoro::waitFor(std::move(second));
    QCoro::waitFor(std::move(first));

    EXPECT_EQ(phases.count(), 2); // sweeping, then done: one sweep only
    EXPECT_TRUE(std::holds_alternative<AppModel::Done>(fixture.model.phase()));
}

// A monorepo: removing the inner project's folder changes a date inside the outer project, which
// must not make the outer one look touched in the same sweep.
TEST(Sweep, RemovesDormantProjectFoldersAtEveryLevelAndRescansEvenWhileAScanIsMarked) {
    SweepFixture fixture;
    fixture.home.file("Developing/shop/package.json");
    fixture.home.file("Developing/shop/node_modules/react/index.js", 40'000);
    fixture.home.file("Developing/shop/src/app.js", 100);
    fixture.home.file("Developing/shop/packages/web/package.json");
    fixture.home.file("Developing/shop/packages/web/node_modules/big/index.js", 90'000);
    setModifiedTree(fixture.home / "Developing", daysAgo(90));
    fixture.model.setProjectRoots({fixture.home / "Developing"});
    QCoro::waitFor(fixture.model.scanProjects());
    ASSERT_EQ(fixture.model.projectItems().size(), 2u);
    for (const auto& item : fixture.model.projectItems())
        fixture.model.toggle(item.id);

    fixture.sweep();

    ASSERT_TRUE(std::holds_alternative<AppModel::Done>(fixture.model.phase()));
    EXPECT_EQ(std::get<AppModel::Done>(fixture.model.phase()).skippedItems, 0);
    EXPECT_FALSE(fs::exists(fixture.home / "Developing/shop/node_modules"));
    EXPECT_FALSE(fs::exists(fixture.home / "Developing/shop/packages/web/node_modules"));
    EXPECT_TRUE(fs::exists(fixture.home / "Developing/shop/src/app.js"));
    EXPECT_TRUE(fixture.model.projectItems().empty()); // rescanned: nothing left to offer
    EXPECT_FALSE(fixture.model.isScanningProjects());
}

} // namespace
