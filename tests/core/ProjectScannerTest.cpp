#include "core/ProjectScanner.h"
#include "core/CleanerMeasurement.h"
#include "support/ProjectTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace fs = std::filesystem;
using ProjectScanner::DormantProject;
using testing::ElementsAre;

namespace {

const FileTime now = std::chrono::system_clock::now();
constexpr int days = 60;

std::set<std::string> foundArtifacts(const std::vector<DormantProject>& projects) {
    std::set<std::string> found;
    for (const auto& project : projects)
        for (const auto& artifact : project.artifacts)
            found.insert(artifact.string());
    return found;
}

std::vector<std::string> roots(const std::vector<DormantProject>& projects) {
    std::vector<std::string> paths;
    for (const auto& project : projects)
        paths.push_back(project.root.string());
    return paths;
}

// Each case is a project of its own in one scanned folder. A link to a project outside the
// scanned folder is not followed either.
TEST(ProjectScanner, AnArtifactNeedsItsMarkerAndMustBeARealFolder) {
    // The project's entries (a trailing "/" makes a folder, "@" a link), the artifact, offered.
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"package.json node_modules/", "node_modules", true},
        {"node_modules/", "node_modules", false},
        {"package.json .next/", ".next", true},
        {"Cargo.toml target/", "target", true},
        {"package.json target/", "target", false},
        {"package.json/ node_modules/", "node_modules", true},
        {"venv/pyvenv.cfg", "venv", true},
        {"venv/bin/python", "venv", false},
        {"pyvenv.cfg venv/", "venv", false},
        {"package.json build/", "build", false},
        {"package.json node_modules", "node_modules", false},
        {"package.json node_modules@", "node_modules", false},
    };
    TempTree tree;
    addProject(tree, "elsewhere");
    tree.link("scan/linked", tree / "elsewhere");
    std::set<std::string> offered;
    int index = 0;
    for (const auto& [entries, artifact, isOffered] : cases) {
        const fs::path project = tree / "scan" / std::to_string(index++);
        std::istringstream words(entries);
        for (std::string entry; words >> entry;) {
            if (entry.ends_with('/'))
                tree.folder(project / entry);
            else if (entry.ends_with('@'))
                tree.link(project / entry.substr(0, entry.size() - 1), tree / "elsewhere");
            else
                tree.file(project / entry);
        }
        EXPECT_EQ(ProjectScanner::isArtifact(project / artifact), isOffered) << entries;
        if (isOffered)
            offered.insert((project / artifact).string());
    }
    makeDormant(tree);
    EXPECT_EQ(foundArtifacts(ProjectScanner::scan({tree / "scan"}, now, days)), offered);
}

TEST(ProjectScanner, WalkStopsAtDepthEightAndAtSkippedFolders) {
    TempTree tree;
    const std::string seven = "1/2/3/4/5/6/7", eight = seven + "/8";
    for (const auto& project : {seven, eight, std::string("Library/p"), std::string(".Trash/p"),
                                std::string("Applications/p"), std::string("sub/.git/p"),
                                std::string("shop"), std::string("shop/node_modules/inner")})
        addProject(tree, project);
    makeDormant(tree);

    const auto found = foundArtifacts(ProjectScanner::scan({tree.root()}, now, days));
    EXPECT_THAT(found, ElementsAre((tree / seven / "node_modules").string(),
                                   (tree / "shop/node_modules").string()));
    // Only the walk is bounded: the deeper folder is an artifact when asked directly.
    EXPECT_TRUE(ProjectScanner::isArtifact(tree / eight / "node_modules"));
}

// One repository holding every situation git can answer about, plus projects outside it.
TEST(ProjectScanner, GitDecidesInsideRepositoriesOnlyAndBatchedAnswersAgree) {
    TempTree tree;
    const fs::path repository = tree / "repo";
    ASSERT_TRUE(makeRepository(repository, "node_modules\n"));
    std::vector<std::pair<fs::path, bool>> expected; // artifact, whether git lets it go
    const auto add = [&](const std::string& project, const std::string& artifact, bool ignored) {
        expected.emplace_back(addProject(tree, project, artifact, 5000), ignored);
    };
    add("repo/ignored", "node_modules", true);
    add("repo/:colon", "node_modules", true);
    add("repo/tracked", "node_modules", false);
    ASSERT_TRUE(git(repository, "add -f tracked/node_modules/content"));
    ASSERT_TRUE(git(repository, "commit -q -m tracked"));
    add("repo/unlisted", "target", false);
    add("repo/negated", "node_modules", false);
    tree.text("repo/negated/.gitignore", "!node_modules\n");
    add("repo/nested/rust", "target", true);
    tree.text("repo/nested/.gitignore", "target/\n");
    for (int i = 0; i < 20; ++i)
        add("repo/many/app" + std::to_string(i), "node_modules", true);
    add("outside", "node_modules", true);
    add("outside", "target", true);
    ASSERT_TRUE(git(repository, "worktree add -q ../worktree"));
    ASSERT_TRUE(fs::is_regular_file(tree / "worktree/.git"));
    add("worktree/web", "node_modules", true);
    add("worktree/lib", "target", false);
    makeDormant(tree);

    std::set<std::string> single;
    for (const auto& [artifact, ignored] : expected) {
        EXPECT_EQ(ProjectScanner::isArtifact(artifact), ignored) << artifact;
        if (ignored)
            single.insert(artifact.string());
    }
    EXPECT_EQ(foundArtifacts(ProjectScanner::scan({tree.root()}, now, days)), single);

    // Without git only artifacts outside repositories are offered.
    const fs::path missingGit = "/nonexistent/git";
    EXPECT_FALSE(ProjectScanner::isArtifact(tree / "repo/ignored/node_modules", missingGit));
    EXPECT_TRUE(ProjectScanner::isArtifact(tree / "outside/node_modules", missingGit));
    EXPECT_THAT(roots(ProjectScanner::scan({tree.root()}, now, days, missingGit)),
                ElementsAre((tree / "outside").string()));

    // git refuses a batch path that goes through a link, and is then asked folder by folder.
    tree.link("repo/linked", repository / "many");
    const fs::path linked = repository / "linked/app3";
    ASSERT_TRUE(ProjectScanner::isArtifact(linked / "node_modules"));
    EXPECT_THAT(foundArtifacts(ProjectScanner::scan({linked}, now, days)),
                ElementsAre((linked / "node_modules").string()));
}

// A repository that is a project and holds two more, all of it 61 days old, then one entry
// touched.
TEST(ProjectScanner, DormancyLooksAtTheProjectAndItsRepository) {
    struct Case {
        std::string name;
        std::string touched; // empty: nothing
        double age;          // days
        bool webDormant, apiDormant, repositoryDormant;
    };
    const Case cases[] = {
        {"everything old", "", 0, true, true, true},
        {"a file 59.5 days old", "repo/web/src/app.js", 59.5, false, true, false},
        {"a file 61 days old", "repo/web/src/app.js", 61.5, true, true, true},
        {"a deep file", "repo/web/src/a/b/c/d/e/deep.js", 1, false, true, false},
        {"the project folder itself", "repo/web", 1, false, true, false},
        {"inside node_modules", "repo/web/node_modules/content", 1, true, true, true},
        {"inside another artifact", "repo/web/.next/content", 1, true, true, true},
        {"inside .git", "repo/.git/objects/info", 1, true, true, true},
        {"HEAD", "repo/.git/HEAD", 1, false, false, false},
        {"FETCH_HEAD", "repo/.git/FETCH_HEAD", 1, false, false, false},
        {"the repository's other folder", "repo/docs/notes.md", 1, true, true, false},
    };
    TempTree tree;
    ASSERT_TRUE(makeRepository(tree / "repo", "node_modules\n.next\n"));
    for (const auto& project : {"repo", "repo/web", "repo/api"}) {
        addProject(tree, project);
        addProject(tree, project, ".next");
    }
    for (const auto& file : {"repo/web/src/a/b/c/d/e/deep.js", "repo/web/src/app.js",
                             "repo/.git/FETCH_HEAD", "repo/docs/notes.md"})
        tree.file(file);
    // A link's own date counts, not that of what it leads to.
    tree.link("repo/api/latest", tree / "fresh");
    for (const auto& c : cases) {
        makeDormant(tree);
        tree.file("fresh");
        if (!c.touched.empty())
            setModified(tree / c.touched, daysAgo(c.age));
        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo/web", now, days), c.webDormant) << c.name;
        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo/api", now, days), c.apiDormant) << c.name;
        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo", now, days), c.repositoryDormant)
            << c.name;
    }
    // A date equal to the cutoff is old.
    const auto cutoff = now - std::chrono::hours(24 * days);
    setModifiedTree(tree / "repo", cutoff);
    EXPECT_TRUE(ProjectScanner::isDormant(tree / "repo/web", now, days));
    EXPECT_FALSE(
        ProjectScanner::isDormant(tree / "repo/web", now - std::chrono::nanoseconds(1), days));
}

TEST(ProjectScanner, ProjectThatCannotBeListedIsNeverOffered) {
    TempTree tree;
    TempTree home;
    ASSERT_TRUE(makeRepository(tree / "repo", "node_modules\n"));
    addProject(tree, "repo/locked");
    addProject(tree, "repo/open");
    makeDormant(tree);
    // git answers only in repositories owned by the asking user.
    giveToNobody(tree.root());
    giveToNobody(home.root());
    const fs::path locked = tree / "repo/locked";
    fs::permissions(locked, fs::perms::owner_write | fs::perms::owner_exec);
    setModified(locked, daysAgo(61));

    // Reachable, so the guard's own check would pass, but dormancy cannot be shown.
    const int status = runAsNobody([&] {
        setenv("HOME", home.root().c_str(), 1);
        const auto found = ProjectScanner::scan({tree.root()}, now, days);
        return ProjectScanner::isArtifact(locked / "node_modules") &&
                       !ProjectScanner::isDormant(locked, now, days) &&
                       roots(found) == std::vector<std::string>{(tree / "repo/open").string()}
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(ProjectScanner, ProjectsComeLargestFirstWithAllTheirArtifactsCountedOnce) {
    TempTree tree;
    addProject(tree, "small", "node_modules", 8192);
    addProject(tree, "small", ".next", 8192);
    addProject(tree, "large", "node_modules", 200'000);
    addProject(tree, "middle", "target", 60'000);
    addProject(tree, "active", "node_modules", 500'000);
    makeDormant(tree);
    setModified(tree / "active/package.json", daysAgo(1));

    const auto found = ProjectScanner::scan({tree.root()}, now, days);
    ASSERT_THAT(roots(found), ElementsAre((tree / "large").string(), (tree / "middle").string(),
                                          (tree / "small").string()));
    EXPECT_THAT(found[2].artifactNames(), ElementsAre(".next", "node_modules"));
    EXPECT_EQ(found[2].size, Cleaner::allocatedSize(tree / "small/node_modules") +
                                 Cleaner::allocatedSize(tree / "small/.next"));
    EXPECT_EQ(ProjectScanner::scan(
                  {tree / "small", tree.root(), tree / "small/.next", tree / "small"}, now, days),
              found);
}

} // namespace
