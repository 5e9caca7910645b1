#include "support/FakeEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// The item deletes exactly the generated folders the scan found, and only when chosen; its
// detail abbreviates only a whole leading home folder.
TEST(AppModelProjects, ProjectItemRemovesOnlyTheGeneratedFolders) {
    const std::tuple<fs::path, fs::path, std::string> cases[] = {
        {"/home/ann", "/home/ann/shop", "~"},
        {"/home/ann/", "/home/ann/code/web/shop", "~/code/web"},
        {"/home/ann", "/home/ann2/shop", "/home/ann2"},
        {"/home/ann", "/srv/home/ann/shop", "/srv/home/ann"},
        {"/", "/srv/shop", "/srv"},
    };
    for (const auto& [home, root, folderShown] : cases) {
        const ProjectScanner::DormantProject project{root, {root / "target", root / ".next"}, 7};
        const CleanupItem item = AppModel::projectItem(project, home);
        EXPECT_EQ(item.detail, ".next, target in " + folderShown + ". Untouched for 60+ days.")
            << root;
        EXPECT_EQ(item.id, "project:" + root.string());
        EXPECT_EQ(item.action, CleanupAction(CleanupActions::RemoveDirectories{project.artifacts}));
        EXPECT_EQ(item.sizeRoots, project.artifacts);
        EXPECT_FALSE(item.selectedByDefault);
        EXPECT_EQ(item.cachedSize, 7);
    }
}

// The project scan end to end: a folder chosen is searched and stored for the next launch,
// dormant projects become unselected rows, a rescan keeps the user's choice (choosing a folder
// already searched adds it only once), and a root no longer searched takes its projects along.
TEST(AppModelProjects, ScanOffersDormantProjectsAndDropsThemWithTheirRoot) {
    ModelUnderTest f;
    f.home.file("Developing/shop/package.json");
    f.home.file("Developing/shop/node_modules/react/index.js", 40'000);
    f.home.file("Developing/shop/.next/cache/page", 10'000);
    setModifiedTree(f.home / "Developing", daysAgo(90));
    const std::string id = "project:" + (f.home / "Developing/shop").string();
    auto& model = f.make();
    QSignalSpy scanning(&model, &AppModel::isScanningProjectsChanged);
    f.chooser->answer = QStringList{QString::fromStdString((f.home / "Developing").string())};

    QCoro::waitFor(model.addProjectFolders());
    EXPECT_EQ(scanning.count(), 2);
    EXPECT_EQ(AppModel(f.environment()).projectRoots(), model.projectRoots());
    ASSERT_EQ(model.projectItems().size(), 1u);
    EXPECT_EQ(model.projectItems()[0].detail,
              ".next, node_modules in ~/Developing. Untouched for 60+ days.");
    ASSERT_NE(f.row(id), nullptr);
    EXPECT_FALSE(f.row(id)->isSelected);
    EXPECT_EQ(f.size(id), model.projectItems()[0].cachedSize);

    model.toggle(id);
    QCoro::waitFor(model.addProjectFolders());
    EXPECT_EQ(model.projectRoots().size(), 1u);
    ASSERT_NE(f.row(id), nullptr);
    EXPECT_TRUE(f.row(id)->isSelected);

    QSignalSpy rows(&model, &AppModel::rowsChanged);
    model.setProjectRoots({});
    EXPECT_TRUE(model.projectItems().empty()); // at once, before any rescan
    EXPECT_EQ(f.row(id), nullptr);
    QCoro::waitFor(model.scanProjects());
    EXPECT_EQ(rows.count(), 1);
    EXPECT_EQ(scanning.count(), 4); // without roots no scan runs
}

} // namespace
