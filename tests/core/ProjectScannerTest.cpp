#include "core/ProjectScanner.h"
#include "core/CleanerMeasurement.h"
#include "support/TempTree.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using ProjectScanner::DormantProject;
using testing::ElementsAre;

namespace {

const FileTime now = std::chrono::system_clock::now();
constexpr int days = 60;
const fs::path missingGit = "/nonexistent/git";

// Runs git in `folder` without reading the machine's or the user's configuration.
void git(const fs::path& folder, const std::string& arguments) {
    const std::string command = "GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null git -C '" +
                                folder.string() + "' " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

void makeRepository(const fs::path& folder, const std::string& ignored) {
    fs::create_directories(folder);
    git(folder, "init -q");
    git(folder, "config user.email test@example.com");
    git(folder, "config user.name Test");
    writeFile(folder / ".gitignore", ignored);
    git(folder, "add .gitignore");
    git(folder, "commit -q -m start");
}

void makeOld(const fs::path& tree) {
    setModifiedTree(tree, daysAgo(61));
}

std::set<std::string> foundArtifacts(const std::vector<DormantProject>& projects) {
    std::set<std::string> found;
    for (const auto& project : projects) {
        for (const auto& artifact : project.artifacts)
            found.insert(artifact.string());
    }
    return found;
}

std::vector<std::string> roots(const std::vector<DormantProject>& projects) {
    std::vector<std::string> paths;
    for (const auto& project : projects)
        paths.push_back(project.root.string());
    return paths;
}

struct MarkerCase {
    std::string name;
    std::vector<std::string> files;   // relative to the project, created before the artefact
    std::vector<std::string> folders; // likewise
    std::string artifact;
    bool offered;
};

TEST(ProjectScanner, ArtefactNeedsItsMarkerAndMustBeARealFolder) {
    const std::vector<MarkerCase> cases{
        {"node_modules beside package.json",
         {"package.json"},
         {"node_modules"},
         "node_modules",
         true},
        {"node_modules alone", {}, {"node_modules"}, "node_modules", false},
        {".next beside package.json", {"package.json"}, {".next"}, ".next", true},
        {"Pods beside Podfile", {"Podfile"}, {"Pods"}, "Pods", true},
        {".build beside Package.swift", {"Package.swift"}, {".build"}, ".build", true},
        {".dart_tool beside pubspec.yaml", {"pubspec.yaml"}, {".dart_tool"}, ".dart_tool", true},
        {"target beside Cargo.toml", {"Cargo.toml"}, {"target"}, "target", true},
        {"target beside package.json", {"package.json"}, {"target"}, "target", false},
        {"package.json as a folder", {}, {"package.json", "node_modules"}, "node_modules", true},
        {"venv with pyvenv.cfg", {"venv/pyvenv.cfg"}, {}, "venv", true},
        {".venv with pyvenv.cfg", {".venv/pyvenv.cfg"}, {}, ".venv", true},
        {"venv without pyvenv.cfg", {"venv/bin/python"}, {}, "venv", false},
        {"pyvenv.cfg beside venv", {"pyvenv.cfg"}, {"venv"}, "venv", false},
        {"a name that is no artefact", {"package.json"}, {"build"}, "build", false},
        {"a plain file named node_modules",
         {"package.json", "node_modules"},
         {},
         "node_modules",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        for (const auto& file : c.files)
            tree.file("shop/" + file);
        for (const auto& folder : c.folders)
            tree.folder("shop/" + folder);
        makeOld(tree.root());
        const fs::path artifact = tree / "shop" / c.artifact;
        EXPECT_EQ(ProjectScanner::isArtifact(artifact), c.offered);
        const auto found = ProjectScanner::scan({tree.root()}, now, days);
        EXPECT_EQ(foundArtifacts(found).contains(artifact.string()), c.offered);
    }
}

TEST(ProjectScanner, SymbolicLinkNamedLikeAnArtefactIsNotOffered) {
    TempTree tree;
    tree.file("shop/package.json");
    const fs::path real = tree.folder("elsewhere/node_modules");
    tree.file("elsewhere/package.json");
    tree.link("shop/node_modules", real);
    tree.link("linked", tree / "elsewhere");
    makeOld(tree.root());

    EXPECT_FALSE(ProjectScanner::isArtifact(tree / "shop/node_modules"));
    EXPECT_THAT(roots(ProjectScanner::scan({tree.root()}, now, days)),
                ElementsAre((tree / "elsewhere").string()));
}

TEST(ProjectScanner, WalkStopsAtDepthEightAndAtSkippedFolders) {
    TempTree tree;
    const std::string seven = "1/2/3/4/5/6/7/";
    const std::string eight = seven + "8/";
    for (const auto& project : {seven, eight, std::string("Library/p/"), std::string(".Trash/p/"),
                                std::string("Applications/p/"), std::string("sub/.git/p/"),
                                std::string("shop/"), std::string("shop/node_modules/inner/")}) {
        tree.file(project + "package.json");
        tree.folder(project + "node_modules");
    }
    makeOld(tree.root());

    const auto found = foundArtifacts(ProjectScanner::scan({tree.root()}, now, days));
    EXPECT_THAT(found, ElementsAre((tree / seven / "node_modules").string(),
                                   (tree / "shop/node_modules").string()));
    // Only the walk is bounded: the deeper folder is an artefact when asked directly.
    EXPECT_TRUE(ProjectScanner::isArtifact(tree / eight / "node_modules"));
}

TEST(ProjectScanner, NonexistentRootGivesNothing) {
    TempTree tree;
    EXPECT_TRUE(ProjectScanner::scan({tree / "missing"}, now, days).empty());
}

// One repository holding every situation git can answer about, plus a folder outside it.
struct GitFixture {
    TempTree tree;
    fs::path repository = tree / "repo";
    std::vector<std::pair<fs::path, bool>> expected; // artefact, whether git lets it go

    GitFixture() {
        makeRepository(repository, "node_modules\n");
        add("repo/ignored", "node_modules", "package.json", true);
        add("repo/:colon", "node_modules", "package.json", true);
        add("repo/tracked", "node_modules", "package.json", false);
        tree.file("repo/tracked/node_modules/kept.js");
        git(repository, "add -f tracked/node_modules/kept.js");
        git(repository, "commit -q -m tracked");
        add("repo/unlisted", "target", "Cargo.toml", false);
        add("repo/negated", "node_modules", "package.json", false);
        writeFile(repository / "negated/.gitignore", "!node_modules\n");
        add("repo/nested/rust", "target", "Cargo.toml", true);
        writeFile(repository / "nested/.gitignore", "target/\n");
        for (int i = 0; i < 20; ++i)
            add("repo/many/app" + std::to_string(i), "node_modules", "package.json", true);
        add("outside", "node_modules", "package.json", true);
        add("outside", "target", "Cargo.toml", true);
        git(repository, "worktree add -q ../worktree");
        add("worktree/web", "node_modules", "package.json", true);
        add("worktree/lib", "target", "Cargo.toml", false);
        makeOld(tree.root());
    }

    void add(const std::string& project, const std::string& artifact, const std::string& marker,
             bool ignored) {
        tree.file(project + "/" + marker);
        tree.file(project + "/" + artifact + "/content", 5000);
        expected.emplace_back(tree / project / artifact, ignored);
    }
};

TEST(ProjectScanner, GitDecidesInsideRepositoriesOnly) {
    GitFixture fixture;
    ASSERT_TRUE(fs::is_regular_file(fixture.tree / "worktree/.git"));
    for (const auto& [artifact, ignored] : fixture.expected)
        EXPECT_EQ(ProjectScanner::isArtifact(artifact), ignored) << artifact;
}

TEST(ProjectScanner, BatchedAndSingleGitAnswersAgree) {
    GitFixture fixture;
    std::set<std::string> single;
    for (const auto& [artifact, ignored] : fixture.expected) {
        if (ProjectScanner::isArtifact(artifact))
            single.insert(artifact.string());
    }
    EXPECT_EQ(single.size(), 26u);
    EXPECT_EQ(foundArtifacts(ProjectScanner::scan({fixture.tree.root()}, now, days)), single);

    // git refuses a batch path that goes through a link, and is then asked folder by folder.
    fixture.tree.link("repo/linked", fixture.repository / "many");
    const fs::path linked = fixture.repository / "linked/app3";
    ASSERT_TRUE(ProjectScanner::isArtifact(linked / "node_modules"));
    EXPECT_THAT(foundArtifacts(ProjectScanner::scan({linked}, now, days)),
                ElementsAre((linked / "node_modules").string()));
}

TEST(ProjectScanner, WithoutGitOnlyArtefactsOutsideRepositoriesAreOffered) {
    GitFixture fixture;
    EXPECT_FALSE(
        ProjectScanner::isArtifact(fixture.tree / "repo/ignored/node_modules", missingGit));
    EXPECT_TRUE(ProjectScanner::isArtifact(fixture.tree / "outside/node_modules", missingGit));
    EXPECT_THAT(roots(ProjectScanner::scan({fixture.tree.root()}, now, days, missingGit)),
                ElementsAre((fixture.tree / "outside").string()));
}

struct ActivityCase {
    std::string name;
    std::string touched; // relative to the fixture; empty: nothing
    double age;          // days
    bool webDormant;
    bool apiDormant;
    bool repositoryDormant; // the repository's own folder is a project too
};

// A repository that is a project and holds two more, all of it 61 days old, then one entry
// touched.
TEST(ProjectScanner, DormancyLooksAtTheProjectAndItsRepository) {
    const std::vector<ActivityCase> cases{
        {"everything old", "", 0, true, true, true},
        {"a file 59 days old", "repo/web/src/app.js", 59, false, true, false},
        {"a file 61 days old", "repo/web/src/app.js", 61.5, true, true, true},
        {"a deep file", "repo/web/src/a/b/c/d/e/deep.js", 1, false, true, false},
        {"the project folder itself", "repo/web", 1, false, true, false},
        {"inside node_modules", "repo/web/node_modules/pkg/index.js", 1, true, true, true},
        {"inside another artefact", "repo/web/.next/cache", 1, true, true, true},
        {"inside .git", "repo/.git/objects/info", 1, true, true, true},
        {"HEAD", "repo/.git/HEAD", 1, false, false, false},
        {"index", "repo/.git/index", 1, false, false, false},
        {"FETCH_HEAD", "repo/.git/FETCH_HEAD", 1, false, false, false},
        {"logs/HEAD", "repo/.git/logs/HEAD", 1, false, false, false},
        {"the repository's other folder", "repo/docs/notes.md", 1, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        makeRepository(tree / "repo", "node_modules\n.next\n");
        for (const auto& project : {"repo", "repo/web", "repo/api"}) {
            tree.file(std::string(project) + "/package.json");
            tree.file(std::string(project) + "/node_modules/pkg/index.js");
            tree.file(std::string(project) + "/.next/cache");
        }
        tree.file("repo/web/src/a/b/c/d/e/deep.js");
        tree.file("repo/web/src/app.js");
        tree.file("repo/.git/FETCH_HEAD");
        tree.file("repo/docs/notes.md");
        makeOld(tree.root());
        if (!c.touched.empty())
            setModified(tree / c.touched, daysAgo(c.age));

        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo/web", now, days), c.webDormant);
        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo/api", now, days), c.apiDormant);
        EXPECT_EQ(ProjectScanner::isDormant(tree / "repo", now, days), c.repositoryDormant);
    }
}

TEST(ProjectScanner, DateEqualToTheCutoffIsOld) {
    TempTree tree;
    tree.file("shop/package.json");
    makeOld(tree.root());
    const auto fixedNow = std::chrono::system_clock::now();
    const auto cutoff = fixedNow - std::chrono::hours(24 * days);
    setModified(tree / "shop/package.json", cutoff);
    setModified(tree / "shop", cutoff);
    EXPECT_TRUE(ProjectScanner::isDormant(tree / "shop", fixedNow, days));
    EXPECT_FALSE(
        ProjectScanner::isDormant(tree / "shop", fixedNow + std::chrono::nanoseconds(-1), days));
}

TEST(ProjectScanner, ProjectThatCannotBeListedIsNeverOffered) {
    TempTree tree;
    TempTree home;
    makeRepository(tree / "repo", "node_modules\n");
    for (const auto& project : {"repo/locked", "repo/open"}) {
        tree.file(std::string(project) + "/package.json");
        tree.file(std::string(project) + "/node_modules/index.js");
    }
    makeOld(tree.root());
    // git answers only in repositories owned by the asking user.
    giveToNobody(tree.root());
    giveToNobody(home.root());
    const fs::path locked = tree / "repo/locked";
    fs::permissions(locked, fs::perms::owner_write | fs::perms::owner_exec);
    setModified(locked, daysAgo(61));

    const int status = runAsNobody([&] {
        setenv("HOME", home.root().c_str(), 1);
        int failures = 0;
        if (!ProjectScanner::isArtifact(locked / "node_modules"))
            failures |= 1; // reachable, so the guard's own check would pass …
        if (ProjectScanner::isDormant(locked, now, days))
            failures |= 2; // … but dormancy cannot be shown
        const auto found = ProjectScanner::scan({tree.root()}, now, days);
        if (roots(found) != std::vector<std::string>{(tree / "repo/open").string()})
            failures |= 4;
        return failures;
    });
    EXPECT_EQ(status, 0);
}

TEST(ProjectScanner, ProjectsComeLargestFirstWithAllTheirArtefacts) {
    TempTree tree;
    tree.file("small/package.json");
    tree.file("small/node_modules/a", 8192);
    tree.file("small/.next/b", 8192);
    tree.file("large/package.json");
    tree.file("large/node_modules/a", 200'000);
    tree.file("middle/Cargo.toml");
    tree.file("middle/target/a", 60'000);
    tree.file("active/package.json");
    tree.file("active/node_modules/a", 500'000);
    makeOld(tree.root());
    setModified(tree / "active/package.json", daysAgo(1));

    const auto found = ProjectScanner::scan({tree.root()}, now, days);
    ASSERT_THAT(roots(found), ElementsAre((tree / "large").string(), (tree / "middle").string(),
                                          (tree / "small").string()));
    EXPECT_GE(found[0].size, found[1].size);
    EXPECT_GE(found[1].size, found[2].size);
    const auto& small = found[2];
    EXPECT_THAT(small.artifactNames(), ElementsAre(".next", "node_modules"));
    EXPECT_EQ(small.size, Cleaner::allocatedSize(tree / "small/node_modules") +
                              Cleaner::allocatedSize(tree / "small/.next"));
}

TEST(ProjectScanner, OverlappingRootsCountEveryFolderOnce) {
    TempTree tree;
    tree.file("work/shop/package.json");
    tree.file("work/shop/node_modules/a", 50'000);
    tree.file("work/shop/.next/a", 50'000);
    makeOld(tree.root());

    const auto once = ProjectScanner::scan({tree.root()}, now, days);
    const auto overlapping = ProjectScanner::scan(
        {tree / "work", tree.root(), tree / "work/shop", tree / "work"}, now, days);
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(overlapping, once);
}

} // namespace
