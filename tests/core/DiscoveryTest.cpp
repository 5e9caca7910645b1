#include "core/CleanerDiscovery.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A home folder and two volume mount bases inside one temp tree: "media/u/" stands for
// /media/USER/ and "mnt/" for /mnt/.
class DiscoveryFixture : public ::testing::Test {
protected:
    TempTree tree;
    fs::path home = tree.folder("home");
    std::string media = (tree / "media/u").string() + "/";
    std::string mnt = (tree / "mnt").string() + "/";
    Cleaner::Vetting vetting{home, {media, mnt}};

    void SetUp() override { ::unsetenv("XDG_CONFIG_HOME"); }

    [[nodiscard]] std::string inHome(const std::string& relative) const {
        return (home / relative).string();
    }
    [[nodiscard]] fs::path onVolume(const std::string& relative) const { return media + relative; }
    // A bash login shell confined to `shellHome`, so the real user's start-up files never run.
    [[nodiscard]] Cleaner::DiscoveryOptions optionsFor(const fs::path& shellHome) const {
        Cleaner::DiscoveryOptions options;
        options.shell.shell = "/bin/bash";
        options.shell.environment = std::vector<std::string>{"HOME=" + shellHome.string(),
                                                             "PATH=/usr/bin:/bin", "TERM=dumb"};
        options.shell.killGrace = 200ms;
        options.volumePrefixes = vetting.volumePrefixes;
        options.claudeScratch = tree / "scratch";
        return options;
    }
    // A login shell that prints `output`: a stand-in named like a shell of the sh family, so it
    // is run directly.
    [[nodiscard]] CustomLocations discover(const std::string& output) const {
        tree.text("output", output);
        Cleaner::DiscoveryOptions options = optionsFor(home);
        options.shell.shell = tree.script("bin/bash", "cat '" + (tree / "output").string() + "'");
        return Cleaner::discoverToolCaches(home, 5s, options);
    }
};

// Attacks through the login shell's output and the desktop's settings.
using HostileShell = DiscoveryFixture;

} // namespace

TEST(ProbeOutputTest, ReadsKeyValueLinesAfterTheMarker) {
    const std::pair<std::string, Cleaner::ProbeValues> cases[] = {
        {"NPM=/x\nPNPM=/y", {}},
        {" __PELLWICK_BEGIN__\nNPM=/x", {}},
        {"Welcome!\nNPM=/noise\n__PELLWICK_BEGIN__\nPNPM=/p", {{"PNPM", "/p"}}},
        // A second marker, lines without "=", empty values and repeated keys.
        {"__PELLWICK_BEGIN__\nnoise\nA=b=c\nB= \t \n=x\nC=1\nC=2\n__PELLWICK_BEGIN__\nC=",
         {{"A", "b=c"}, {"", "x"}, {"C", "2"}}},
        {"__PELLWICK_BEGIN__\n K \t= \t/v/g \t\nN=\xC2\xA0/x",
         {{" K \t", "/v/g"}, {"N", "\xC2\xA0/x"}}},
        {"__PELLWICK_BEGIN__\r\nA=1\r\nB=2\xE2\x80\xA8"
         "C=3\vD=4",
         {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}},
    };
    for (const auto& [text, values] : cases)
        EXPECT_EQ(Cleaner::parseProbeOutput(text), values) << text;
}

// The protected folders themselves are attacked in the adversarial tests.
TEST_F(DiscoveryFixture, RefusesUnsafeFolders) {
    tree.folder("elsewhere/a/b");
    tree.file("home/dev/a-file");
    tree.folder("home/dev/real-cache");
    tree.link("home/dev/link-cache", home / "dev/real-cache");
    tree.folder("home/Documents/pip-cache");
    tree.link("home/devlink", home / "Documents");
    tree.folder("home/target-of-volume-link/dev/pnpm-store");
    fs::create_directories(media);
    tree.link("media/u/Linked", home / "target-of-volume-link");
    const std::pair<fs::path, bool> cases[] = {
        {home / "dev/pnpm-store", true},
        {home / "dev/../dev/pnpm-store/", true},
        {home / "pnpm-store", false},
        {home / "documents/pip", true},
        {home / "Documentsx/pip", true},
        {home / "Documents/caches/pip", false},
        {onVolume("Backup/Documents/npm"), false},
        {onVolume("Work/gradle/caches"), true},
        {onVolume("Work/gradle"), false},
        {mnt + "Disk/a/b", true},
        {mnt + "Disk/a", false},
        {tree / "elsewhere/a/b", false},
        {tree / "homework/dev/pnpm-store", false}, // begins like the home folder
        {home / "dev/missing", false},
        {home / "dev/a-file", false},
        {home / "dev/link-cache", false},
        {home / "devlink/pip-cache", false},
        {onVolume("Linked/dev/pnpm-store"), false},
    };
    for (const auto& [folder, isSafe] : cases) {
        std::error_code ignored;
        if (!folder.string().ends_with("missing"))
            fs::create_directories(folder, ignored);
        EXPECT_EQ(Cleaner::isSafeCustomLocation(folder, vetting), isSafe) << folder;
    }
}

TEST_F(DiscoveryFixture, OffersMovedCachesForTheirItemsOnceAndOutsideBuiltInRoots) {
    for (const char* folder :
         {"media/u/Work/gradle/caches", "home/dev/npm-store/_cacache", "home/dev/pnpm-store",
          "media/u/Ext/Homebrew", "media/u/Ext/dev/Homebrew", "media/u/Ext/dev/Other",
          "media/u/Ext/dev/Builds/ModuleCache.noindex", "home/dev/gocache/a/b/c",
          "home/.cache/pnpm/sub", "home/.cache/pnpm-store", "home/.local/share/pnpm/store",
          "media/u/Ext/dev/pip"})
        tree.folder(folder);
    const std::pair<Cleaner::ProbeValues, CustomLocations> cases[] = {
        {Cleaner::parseProbeOutput("__PELLWICK_BEGIN__\nGRADLE=  " + media + "Work/gradle  "),
         {{"gradle-cache", {onVolume("Work/gradle/caches")}}}},
        {{{"PNPM", "~/dev/pnpm-store"}}, {}},
        {{{"NPM", inHome("dev/npm-store")}}, {{"npm-cache", {home / "dev/npm-store/_cacache"}}}},
        {{{"BREW", media + "Ext/dev/Homebrew"}},
         {{"homebrew-cache", {onVolume("Ext/dev/Homebrew")}}}},
        {{{"BREW", media + "Ext/Homebrew"}}, {}},  // directly on the volume
        {{{"BREW", media + "Ext/dev/Other"}}, {}}, // no hint word
        {{{"DERIVED", media + "Ext/dev/Builds"}}, {{"derived-data", {onVolume("Ext/dev/Builds")}}}},
        {{{"DERIVED", media + "Ext/dev/Other"}}, {}},
        // The hint word must be among the last three path components.
        {{{"GOCACHE", inHome("dev/gocache/a/b")}},
         {{"go-build-cache", {home / "dev/gocache/a/b"}}}},
        {{{"GOCACHE", inHome("dev/gocache/a/b/c")}}, {}},
        {{{"PNPM", inHome(".cache/pnpm/sub")}}, {}},
        {{{"PNPM", inHome(".local/share/pnpm")}}, {}},
        {{{"PNPM", inHome(".cache/pnpm-store")}}, {{"pnpm-cache", {home / ".cache/pnpm-store"}}}},
        {{{"PIP", media + "Ext/dev/pip"}, {"XDG", media + "Ext/dev"}},
         {{"pip-cache", {onVolume("Ext/dev/pip")}}}},
    };
    for (const auto& [values, expected] : cases)
        EXPECT_EQ(Cleaner::customLocations(values, vetting, tree / "scratch"), expected)
            << values.begin()->first << "=" << values.begin()->second;
}

// npm, where installed, reads its moved cache from the home folder's .npmrc.
TEST_F(DiscoveryFixture, AsksTheRealLoginShell) {
    const bool withNpm = fs::exists("/usr/bin/npm") && fs::exists("/usr/bin/node");
    for (const std::string tool : {"npm", "node"})
        if (withNpm)
            tree.link("home/bin/" + tool, "/usr/bin/" + tool);
    for (const char* folder :
         {"home/dev/cargo-home/registry/cache", "home/dev/cargo-home/registry/src",
          "media/u/Work/gradle/caches", "home/tools/playwright-browsers", "media/u/Ext/cache/pip",
          "media/u/Ext/cache/uv", "home/dev/npm-store/_cacache"})
        tree.folder(folder);
    tree.text("home/.bash_profile", "echo 'Good morning'\n"
                                    "echo NPM=/from/noise\n"
                                    "PATH=\"$HOME/bin\"\n"
                                    ". \"$HOME/.bashrc\"\n");
    tree.text("home/.bashrc", "export CARGO_HOME=\"$HOME/dev/cargo-home\"\n"
                              "export GRADLE_USER_HOME=" +
                                  media + "Work/gradle\n" +
                                  "export PLAYWRIGHT_BROWSERS_PATH=~/tools/playwright-browsers\n" +
                                  "export XDG_CACHE_HOME=" + media + "Ext/cache\n");
    tree.text("home/.npmrc", "cache=" + inHome("dev/npm-store") + "\n");
    CustomLocations expected = {
        {"cargo-registry",
         {home / "dev/cargo-home/registry/cache", home / "dev/cargo-home/registry/src"}},
        {"gradle-cache", {onVolume("Work/gradle/caches")}},
        {"playwright", {home / "tools/playwright-browsers"}},
        {"pip-cache", {onVolume("Ext/cache/pip")}},
        {"uv-cache", {onVolume("Ext/cache/uv")}},
    };
    if (withNpm)
        expected["npm-cache"] = {home / "dev/npm-store/_cacache"};
    EXPECT_EQ(Cleaner::discoverToolCaches(home, 20s, optionsFor(home)), expected);
}

// The start-up file prints part of the answer, then hangs: the part counts, and the setting
// read without the shell is still added.
TEST_F(DiscoveryFixture, AStartUpFileThatHangsIsCutAtTheLimit) {
    tree.folder("media/u/Work/gradle/caches");
    tree.folder("media/u/Work/xcode/DerivedData");
    tree.text("home/.bash_profile",
              "echo __PELLWICK_BEGIN__\necho GRADLE=" + media + "Work/gradle\nsleep 100\n");
    auto options = optionsFor(home);
    options.derivedDataLocation = media + "Work/xcode/DerivedData";
    EXPECT_EQ(Cleaner::discoverToolCaches(home, 1s, options),
              (CustomLocations{{"gradle-cache", {onVolume("Work/gradle/caches")}},
                               {"derived-data", {onVolume("Work/xcode/DerivedData")}}}));
}

TEST_F(HostileShell, ANulByteNeverShortensAPath) {
    tree.folder("home/.ssh");
    tree.folder("home/.cache/pip");
    const std::string home = this->home.string();
    EXPECT_EQ(discover(std::string("__PELLWICK_BEGIN__\nXDG=") + home + "/.ssh" + '\0' +
                       "/.cache\nNPM=" + home + "/" + '\0' + "\n"),
              CustomLocations{});
}

TEST_F(HostileShell, EndlessOutputIsCutAtItsLimitAndTheShellRunsInTheHomeFolder) {
    Cleaner::LoginShellOptions options;
    options.shell = tree.script("bin/sh", "while :; do echo aaaaaaaaaaaaaaaaaaaaaaaa; done");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_LE(Cleaner::runLoginShell("", 20s, options).size(), Cleaner::loginShellOutputLimit);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    options.shell = "/bin/sh";
    options.workingDirectory = home;
    EXPECT_EQ(Cleaner::runLoginShell("pwd", 5s, options), home.string() + "\n");
}

TEST_F(HostileShell, NoProtectedFolderBecomesACache) {
    tree.text("home/.config/user-dirs.dirs",
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_MUSIC_DIR=\"" + home.string() +
                  "/Musik\"\nXDG_DESKTOP_DIR=\"$HOME/\"\nXDG_VIDEOS_DIR=\"/tools\"\n");
    const std::string protectedFolders[] = {
        ".ssh",      ".gnupg", ".aws",      ".kube", ".docker",   "Documents",      "Videos",
        "Templates", "Public", "Dokumente", "Musik", ".config/x", ".password-store"};
    for (const auto& folder : protectedFolders) {
        tree.folder("home/" + folder + "/pip");
        const auto found =
            discover("__PELLWICK_BEGIN__\nPIP=" + (home / folder / "pip").string() + "\n");
        EXPECT_EQ(found, CustomLocations{}) << folder;
    }
    tree.folder("home/tools/pip");
    EXPECT_EQ(discover("__PELLWICK_BEGIN__\nPIP=" + (home / "tools/pip").string() + "\n").size(),
              1u)
        << "neither the home folder itself nor a folder outside it protects anything in it";
}
