#include "core/CleanerDiscovery.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <iostream>

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

    [[nodiscard]] CustomLocations locations(const Cleaner::ProbeValues& values) const {
        return Cleaner::customLocations(values, vetting, tree / "scratch");
    }
    [[nodiscard]] bool safe(const fs::path& folder) const {
        return Cleaner::isSafeCustomLocation(folder, vetting);
    }
    [[nodiscard]] std::string inHome(const std::string& relative) const {
        return (home / relative).string();
    }
    [[nodiscard]] fs::path onVolume(const std::string& relative) const { return media + relative; }
};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A bash login shell confined to `home`, so the real user's start-up files never run.
Cleaner::LoginShellOptions bashIn(const fs::path& home) {
    Cleaner::LoginShellOptions options;
    options.shell = "/bin/bash";
    options.environment =
        std::vector<std::string>{"HOME=" + home.string(), "PATH=/usr/bin:/bin", "TERM=dumb"};
    return options;
}

} // namespace

TEST(ProbeOutputTest, ReadsKeyValueLinesAfterTheMarker) {
    struct Case {
        std::string name;
        std::string text;
        Cleaner::ProbeValues values;
    };
    const Case cases[] = {
        {"no marker", "NPM=/x\nPNPM=/y", {}},
        {"marker not alone on its line", " __PELLWICK_BEGIN__\nNPM=/x", {}},
        {"start-up noise before the marker",
         "Welcome!\nNPM=/noise\n__PELLWICK_BEGIN__\nPNPM=/p",
         {{"PNPM", "/p"}}},
        {"second marker skipped",
         "__PELLWICK_BEGIN__\nA=1\n__PELLWICK_BEGIN__\nB=2",
         {{"A", "1"}, {"B", "2"}}},
        {"lines without equals skipped", "__PELLWICK_BEGIN__\nnoise\nC=3", {{"C", "3"}}},
        {"spaces and tabs trimmed from values only",
         "__PELLWICK_BEGIN__\n K \t= \t/v/g \t\nN=\xC2\xA0/x",
         {{" K \t", "/v/g"}, {"N", "\xC2\xA0/x"}}},
        {"empty key", "__PELLWICK_BEGIN__\n=x", {{"", "x"}}},
        {"first equals splits", "__PELLWICK_BEGIN__\nA=b=c", {{"A", "b=c"}}},
        {"later keys win", "__PELLWICK_BEGIN__\nA=1\nA=2", {{"A", "2"}}},
        {"empty values dropped", "__PELLWICK_BEGIN__\nA=\nB= \t \nC=1\nC=", {{"C", "1"}}},
        {"any line break",
         "__PELLWICK_BEGIN__\r\nA=1\r\nB=2\xE2\x80\xA8"
         "C=3\vD=4",
         {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cleaner::parseProbeOutput(c.text), c.values) << c.name;
}

TEST_F(DiscoveryFixture, RefusesUnsafeFolders) {
    struct Case {
        fs::path folder;
        bool safe;
    };
    tree.folder("elsewhere/a/b");
    tree.file("home/dev/a-file");
    tree.folder("home/dev/real-cache");
    tree.link("home/dev/link-cache", home / "dev/real-cache");
    tree.folder("home/Documents/pip-cache");
    tree.link("home/devlink", home / "Documents");
    tree.folder("home/target-of-volume-link/dev/pnpm-store");
    fs::create_directories(media);
    tree.link("media/u/Linked", home / "target-of-volume-link");
    const Case cases[] = {
        {home / "dev/pnpm-store", true},
        {home / "dev/../dev/pnpm-store/", true},
        {home / "pnpm-store", false},
        {home / "documents/pip", true},
        {home / "Documentsx/pip", true},
        {home / "Documents/caches/pip", false},
        {home / "Library/Application Support/Claude/pip", false},
        {home / ".config/pip", false},
        {home / ".claude/cache", false},
        {home / ".local/share/Trash/pip", false},
        {onVolume("Backup/Documents/npm"), false},
        {onVolume("Work/gradle/caches"), true},
        {onVolume("Work/gradle"), false},
        {onVolume("Work"), false},
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
    for (const auto& c : cases) {
        std::error_code ignored;
        if (!c.folder.string().ends_with("missing"))
            fs::create_directories(c.folder, ignored);
        EXPECT_EQ(safe(c.folder), c.safe) << c.folder;
    }
}

TEST_F(DiscoveryFixture, OffersMovedCachesForTheirItemsOnceAndOutsideBuiltInRoots) {
    for (const char* folder : {"media/u/Work/gradle/caches",
                               "media/u/Dev/.cargo/registry/cache",
                               "media/u/Dev/.cargo/registry/src",
                               "home/dev/npm-store/_cacache",
                               "home/dev/pnpm-store",
                               "media/u/Ext/Homebrew",
                               "media/u/Ext/dev/Homebrew",
                               "media/u/Ext/dev/Other",
                               "media/u/Ext/dev/Builds/ModuleCache.noindex",
                               "media/u/Ext/dev/DerivedData",
                               "media/u/Ext/xdg/pip",
                               "media/u/Ext/xdg/uv",
                               "media/u/Ext/xdg/puppeteer",
                               "media/u/Ext/xdg/go-build",
                               "home/Projects/tools/registry/cache",
                               "home/dev/gocache/a/b/c",
                               "home/.cache/pnpm/sub",
                               "home/.cache/pnpm-store",
                               "home/.local/share/pnpm/store",
                               "media/u/Ext/dev/pip"})
        tree.folder(folder);
    struct Case {
        std::string name;
        Cleaner::ProbeValues values;
        CustomLocations expected;
    };
    const Case cases[] = {
        {"gradle on a volume, read through the parser",
         Cleaner::parseProbeOutput("__PELLWICK_BEGIN__\nGRADLE=  " + media + "Work/gradle  "),
         {{"gradle-cache", {onVolume("Work/gradle/caches")}}}},
        {"gradle without caches folder", {{"GRADLE", media + "Dev"}}, {}},
        {"a value beginning with a tilde", {{"PNPM", "~/dev/pnpm-store"}}, {}},
        {"a relative value", {{"PNPM", "home/dev/pnpm-store"}}, {}},
        {"a moved npm cache",
         {{"NPM", inHome("dev/npm-store")}},
         {{"npm-cache", {home / "dev/npm-store/_cacache"}}}},
        {"cargo on a volume",
         {{"CARGO", media + "Dev/.cargo"}},
         {{"cargo-registry",
           {onVolume("Dev/.cargo/registry/cache"), onVolume("Dev/.cargo/registry/src")}}}},
        {"hint word matched without case",
         {{"BREW", media + "Ext/dev/Homebrew"}},
         {{"homebrew-cache", {onVolume("Ext/dev/Homebrew")}}}},
        {"directly on the volume", {{"BREW", media + "Ext/Homebrew"}}, {}},
        {"no hint word", {{"BREW", media + "Ext/dev/Other"}}, {}},
        {"DerivedData by name",
         {{"DERIVED", media + "Ext/dev/DerivedData"}},
         {{"derived-data", {onVolume("Ext/dev/DerivedData")}}}},
        {"DerivedData by its module cache",
         {{"DERIVED", media + "Ext/dev/Builds"}},
         {{"derived-data", {onVolume("Ext/dev/Builds")}}}},
        {"DerivedData elsewhere", {{"DERIVED", media + "Ext/dev/Other"}}, {}},
        {"XDG proposes four folders",
         {{"XDG", media + "Ext/xdg"}},
         {{"pip-cache", {onVolume("Ext/xdg/pip")}},
          {"uv-cache", {onVolume("Ext/xdg/uv")}},
          {"puppeteer", {onVolume("Ext/xdg/puppeteer")}},
          {"go-build-cache", {onVolume("Ext/xdg/go-build")}}}},
        {"no hint word in the last three components", {{"CARGO", inHome("Projects/tools")}}, {}},
        {"hint word three components up",
         {{"GOCACHE", inHome("dev/gocache/a/b")}},
         {{"go-build-cache", {home / "dev/gocache/a/b"}}}},
        {"hint word four components up", {{"GOCACHE", inHome("dev/gocache/a/b/c")}}, {}},
        {"inside a built-in root", {{"PNPM", inHome(".cache/pnpm/sub")}}, {}},
        {"containing a built-in root", {{"PNPM", inHome(".local/share/pnpm")}}, {}},
        {"beside a built-in root of the same beginning",
         {{"PNPM", inHome(".cache/pnpm-store")}},
         {{"pnpm-cache", {home / ".cache/pnpm-store"}}}},
        {"the same folder twice for one item",
         {{"PIP", media + "Ext/dev/pip"}, {"XDG", media + "Ext/dev"}},
         {{"pip-cache", {onVolume("Ext/dev/pip")}}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(locations(c.values), c.expected) << c.name;
}

TEST_F(DiscoveryFixture, AsksTheRealLoginShell) {
    const bool withNpm = fs::exists("/usr/bin/npm") && fs::exists("/usr/bin/node");
    if (!withNpm)
        std::cout << "npm is not installed: its moved cache is not checked\n";
    tree.folder("home/bin");
    for (const char* tool : {"npm", "node"})
        if (withNpm)
            fs::create_symlink(fs::path("/usr/bin") / tool, home / "bin" / tool);
    for (const char* folder :
         {"home/dev/cargo-home/registry/cache", "home/dev/cargo-home/registry/src",
          "media/u/Work/gradle/caches", "home/tools/playwright-browsers", "media/u/Ext/cache/pip",
          "media/u/Ext/cache/uv", "home/dev/npm-store/_cacache"})
        tree.folder(folder);
    writeFile(home / ".bash_profile", "echo 'Good morning'\n"
                                      "echo NPM=/from/noise\n"
                                      "PATH=\"$HOME/bin\"\n"
                                      ". \"$HOME/.bashrc\"\n");
    writeFile(home / ".bashrc",
              "export CARGO_HOME=\"$HOME/dev/cargo-home\"\n"
              "export GRADLE_USER_HOME=" +
                  media + "Work/gradle\n" +
                  "export PLAYWRIGHT_BROWSERS_PATH=~/tools/playwright-browsers\n" +
                  "export XDG_CACHE_HOME=" + media + "Ext/cache\n");
    writeFile(home / ".npmrc", "cache=" + inHome("dev/npm-store") + "\n");

    Cleaner::DiscoveryOptions options;
    options.shell = bashIn(home);
    options.volumePrefixes = vetting.volumePrefixes;
    options.claudeScratch = tree / "scratch";
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
    EXPECT_EQ(Cleaner::discoverToolCaches(home, 20s, options), expected);
}

// Two homes side by side: each run waits out its limit, which leaves time for bash to start.
TEST_F(DiscoveryFixture, AStartUpFileThatHangsIsCutAtTheLimit) {
    tree.folder("media/u/Work/gradle/caches");
    tree.folder("media/u/Work/xcode/DerivedData");
    const auto discover = [&](const std::string& name, const std::string& profile) {
        const fs::path hanging = tree.folder(name);
        writeFile(hanging / ".bash_profile", profile + "sleep 100\n");
        Cleaner::DiscoveryOptions options;
        options.shell = bashIn(hanging);
        options.shell.killGrace = 200ms;
        options.volumePrefixes = vetting.volumePrefixes;
        options.claudeScratch = tree / "scratch";
        options.derivedDataLocation = media + "Work/xcode/DerivedData";
        return std::async(std::launch::async, Cleaner::discoverToolCaches, hanging, 1s, options);
    };
    auto silent = discover("silent", "echo 'Mounting the network share'\n");
    auto partial =
        discover("partial", "echo __PELLWICK_BEGIN__\necho GRADLE=" + media + "Work/gradle\n");
    EXPECT_EQ(silent.get(),
              (CustomLocations{{"derived-data", {onVolume("Work/xcode/DerivedData")}}}));
    EXPECT_EQ(partial.get(),
              (CustomLocations{{"gradle-cache", {onVolume("Work/gradle/caches")}},
                               {"derived-data", {onVolume("Work/xcode/DerivedData")}}}));
}
