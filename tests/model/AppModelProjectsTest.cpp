#include "AppModel.h"
#include "support/FakeEnvironment.h"
#include "support/TempTree.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using ProjectScanner::DormantProject;

namespace {

struct Fixture : ModelFixture {

    // A dormant web project directly inside ~/Developing.
    fs::path dormantShop() const {
        home.file("Developing/shop/package.json");
        home.file("Developing/shop/node_modules/react/index.js", 40'000);
        home.file("Developing/shop/.next/cache/page", 10'000);
        setModifiedTree(home / "Developing", daysAgo(90));
        return home / "Developing/shop";
    }
};

const AppModel::Row* rowWithId(const AppModel& model, const std::string& id) {
    for (const auto& row : model.rows()) {
        if (row.item.id == id)
            return &row;
    }
    return nullptr;
}

TEST(AppModelProjects, ProjectItemDescribesTheProject) {
    const DormantProject project{
        "/home/ann/Developing/shop",
        {"/home/ann/Developing/shop/node_modules", "/home/ann/Developing/shop/.next"},
        123'456};
    const CleanupItem item = AppModel::projectItem(project, "/home/ann");

    EXPECT_EQ(item.id, "project:/home/ann/Developing/shop");
    EXPECT_EQ(item.category, Category::projects);
    EXPECT_EQ(item.title, "shop");
    EXPECT_EQ(item.detail, ".next, node_modules in ~/Developing. Untouched for 60+ days.");
    EXPECT_EQ(item.symbol, "folder");
    EXPECT_EQ(item.risk, Risk::reinstalls);
    EXPECT_EQ(item.sizeRoots, project.artifacts);
    EXPECT_EQ(item.action, CleanupAction(CleanupActions::RemoveDirectories{project.artifacts}));
    EXPECT_TRUE(item.blockingApps.empty());
    EXPECT_FALSE(item.blockingAppName);
    EXPECT_TRUE(item.blockingProcesses.empty());
    EXPECT_FALSE(item.selectedByDefault);
    EXPECT_EQ(item.cachedSize, 123'456);
}

TEST(AppModelProjects, DetailAbbreviatesOnlyAWholeLeadingHomeFolder) {
    struct Case {
        fs::path home;
        fs::path root;
        std::string folderShown;
    };
    const Case cases[] = {
        {"/home/ann", "/home/ann/shop", "~"},
        {"/home/ann/", "/home/ann/code/web/shop", "~/code/web"},
        {"/home/ann", "/home/ann2/shop", "/home/ann2"},
        {"/home/ann", "/srv/home/ann/shop", "/srv/home/ann"},
        {"/", "/srv/shop", "/srv"},
    };
    for (const auto& [home, root, folderShown] : cases) {
        const DormantProject project{root, {root / "target"}, 1};
        EXPECT_EQ(AppModel::projectItem(project, home).detail,
                  "target in " + folderShown + ". Untouched for 60+ days.")
            << root;
    }
}

TEST(AppModelProjects, ScanOffersDormantProjectsAsUnselectedRowsAndKeepsTheUsersChoice) {
    Fixture fixture;
    const fs::path shop = fixture.dormantShop();
    AppModel model(fixture.environment());
    model.setProjectRoots({fixture.home / "Developing"});
    QSignalSpy scanning(&model, &AppModel::isScanningProjectsChanged);

    QCoro::waitFor(model.scanProjects());

    EXPECT_EQ(scanning.count(), 2);
    EXPECT_FALSE(model.isScanningProjects());
    ASSERT_EQ(model.projectItems().size(), 1u);
    EXPECT_EQ(model.projectItems()[0].detail,
              ".next, node_modules in ~/Developing. Untouched for 60+ days.");
    const std::string id = "project:" + shop.string();
    const AppModel::Row* row = rowWithId(model, id);
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->isSelected);
    EXPECT_EQ(row->size, model.projectItems()[0].cachedSize);

    model.toggle(id);
    QCoro::waitFor(model.scanProjects());
    row = rowWithId(model, id);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->isSelected);
}

TEST(AppModelProjects, WithoutRootsProjectItemsEmptyAndRowsAreRebuilt) {
    Fixture fixture;
    const fs::path shop = fixture.dormantShop();
    AppModel model(fixture.environment());
    model.setProjectRoots({fixture.home / "Developing"});
    QCoro::waitFor(model.scanProjects());
    ASSERT_EQ(model.projectItems().size(), 1u);
    QSignalSpy scanning(&model, &AppModel::isScanningProjectsChanged);
    QSignalSpy rows(&model, &AppModel::rowsChanged);

    model.setProjectRoots({});
    QCoro::waitFor(model.scanProjects());

    EXPECT_TRUE(model.projectItems().empty());
    EXPECT_EQ(rows.count(), 1);
    EXPECT_EQ(rowWithId(model, "project:" + shop.string()), nullptr);
    EXPECT_EQ(model.rows().size(), 27u);
    EXPECT_EQ(scanning.count(), 0);
}

// A scan asked for while one runs starts no second one: the running one goes again, so the
// flag rises once and the rows are rebuilt once.
TEST(AppModelProjects, ProjectScanRequestedWhileOneRunsStartsNoSecondOne) {
    Fixture fixture;
    fixture.dormantShop();
    AppModel model(fixture.environment());
    model.setProjectRoots({fixture.home / "Developing"});
    QSignalSpy scanning(&model, &AppModel::isScanningProjectsChanged);
    QSignalSpy items(&model, &AppModel::projectItemsChanged);
    QSignalSpy rows(&model, &AppModel::rowsChanged);

    auto first = model.scanProjects();
    ASSERT_TRUE(model.isScanningProjects());
    QCoro::waitFor(model.scanProjects()); // returns at once, asking for one more pass
    EXPECT_TRUE(model.isScanningProjects());
    EXPECT_EQ(items.count(), 0);
    QCoro::waitFor(std::move(first));

    EXPECT_EQ(scanning.count(), 2);
    EXPECT_EQ(items.count(), 1);
    EXPECT_EQ(rows.count(), 1);
}

TEST(AppModelProjects, ProjectRootsAreAlwaysStoredAndNotifyOnlyOnChange) {
    Fixture fixture;
    AppModel model(fixture.environment());
    QSignalSpy changed(&model, &AppModel::projectRootsChanged);
    const std::vector<fs::path> roots{"/home/ann/code", "/srv/work"};

    model.setProjectRoots(roots);
    model.setProjectRoots(roots);

    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.projectRoots(), roots);
    EXPECT_EQ(fixture.settings->writes, 2);
    EXPECT_EQ(fixture.settings->stringListValue("projectRoots"),
              QStringList({"/home/ann/code", "/srv/work"}));

    AppModel reopened(fixture.environment());
    EXPECT_EQ(reopened.projectRoots(), roots);
}

} // namespace
