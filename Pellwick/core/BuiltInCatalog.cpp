#include "core/BuiltInCatalog.h"

#include "core/StandardPath.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>

namespace {

using Paths = std::vector<std::filesystem::path>;
using Names = std::vector<std::string>;

const Names appSupportCacheFolders{"Cache",
                                   "Code Cache",
                                   "GPUCache",
                                   "DawnGraphiteCache",
                                   "DawnWebGPUCache",
                                   "GraphiteDawnCache",
                                   "CachedData",
                                   "CachedExtensionVSIXs",
                                   "component_crx_cache"};

// One row of the catalog table, before it is turned into an item for a home folder.
struct Entry {
    std::string id;
    Category category;
    std::string title;
    std::string detail;
    std::string symbol;
    Names macRoots;   // relative to the home folder
    Names linuxRoots; // added after macRoots on Linux
    Names blockingApps;
    std::optional<std::string> blockingAppName;
    Names blockingProcesses;
};

Names appCacheRoots(const std::string& prefix, const std::string& appFolder) {
    Names roots;
    for (const auto& name : appSupportCacheFolders)
        roots.push_back(prefix + appFolder + "/" + name);
    return roots;
}

Names concat(Names first, const Names& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Entry appEntry(std::string id, const std::string& name, const std::string& macFolder,
               const Names& macCaches, const std::string& linuxFolder, std::string bundleId) {
    return Entry{std::move(id),
                 Category::aiTools,
                 name + " caches",
                 "Web caches and old update downloads. Rebuilt when you reopen " + name + ".",
                 "sparkles",
                 concat(appCacheRoots("Library/Application Support/", macFolder), macCaches),
                 appCacheRoots(".config/", linuxFolder),
                 {std::move(bundleId)},
                 name,
                 {}};
}

const std::vector<Entry>& catalogTable() {
    const Names xcode{"com.apple.dt.Xcode"};
    static const std::vector<Entry> table{
        {"derived-data",
         Category::xcode,
         "Build caches",
         "Xcode DerivedData. Rebuilt on your next build.",
         "hammer",
         {"Library/Developer/Xcode/DerivedData"},
         {},
         xcode,
         "Xcode",
         {}},
        {"device-support",
         Category::xcode,
         "Device symbols",
         "Copied from each device you plug in. Comes back when you reconnect.",
         "iphone",
         {"Library/Developer/Xcode/iOS DeviceSupport",
          "Library/Developer/Xcode/watchOS DeviceSupport",
          "Library/Developer/Xcode/tvOS DeviceSupport",
          "Library/Developer/Xcode/visionOS DeviceSupport"},
         {},
         xcode,
         "Xcode",
         {}},
        {"simulators",
         Category::xcode,
         "Simulator data",
         "Erases apps and data inside every simulator. The simulators stay.",
         "ipad.and.iphone",
         {"Library/Developer/CoreSimulator/Devices"},
         {},
         xcode,
         "Xcode",
         {}},
        {"xcode-docs",
         Category::xcode,
         "Documentation cache",
         "Downloaded Xcode documentation. Fetched again when needed.",
         "book",
         {"Library/Developer/Xcode/DocumentationCache"},
         {},
         xcode,
         "Xcode",
         {}},
        {"swiftpm-cache",
         Category::xcode,
         "Package cache",
         "Downloaded Swift package sources. Fetched again when needed.",
         "shippingbox",
         {"Library/Caches/org.swift.swiftpm"},
         {".cache/org.swift.swiftpm"},
         xcode,
         "Xcode",
         {}},
        {"npm-cache",
         Category::javascript,
         "npm cache",
         "Downloaded packages. npm fetches them again on install.",
         "shippingbox",
         {".npm/_cacache"},
         {},
         {},
         std::nullopt,
         {"npm", "npx"}},
        {"pnpm-cache",
         Category::javascript,
         "pnpm cache and store",
         "Package metadata and the shared store. Existing node_modules keep working.",
         "shippingbox",
         {"Library/Caches/pnpm", "Library/pnpm/store"},
         {".cache/pnpm", ".local/share/pnpm/store"},
         {},
         std::nullopt,
         {"pnpm", "pnpx"}},
        {"yarn-cache",
         Category::javascript,
         "Yarn cache",
         "Downloaded packages. Fetched again on install.",
         "shippingbox",
         {"Library/Caches/Yarn"},
         {".cache/yarn", ".yarn/berry/cache"},
         {},
         std::nullopt,
         {"yarn"}},
        {"bun-cache",
         Category::javascript,
         "Bun cache",
         "Downloaded packages. Fetched again on install.",
         "shippingbox",
         {".bun/install/cache"},
         {},
         {},
         std::nullopt,
         {"bun", "bunx"}},
        {"playwright",
         Category::browserTools,
         "Playwright browsers",
         "Test browsers. Downloaded again the next time Playwright runs.",
         "safari",
         {"Library/Caches/ms-playwright", "Library/Caches/ms-playwright-go"},
         {".cache/ms-playwright", ".cache/ms-playwright-go"},
         {},
         std::nullopt,
         {"playwright"}},
        {"puppeteer",
         Category::browserTools,
         "Puppeteer browsers",
         "Test browsers. Downloaded again when needed.",
         "safari",
         {".cache/puppeteer"},
         {},
         {},
         std::nullopt,
         {}},
        {"electron",
         Category::browserTools,
         "Electron downloads",
         "Electron runtimes used to package apps. Downloaded again when needed.",
         "app.dashed",
         {"Library/Caches/electron"},
         {".cache/electron"},
         {},
         std::nullopt,
         {}},
        {"claude-scratch",
         Category::aiTools,
         "Claude session scratch files",
         "Temporary files from Claude sessions that nothing has touched in " +
             std::to_string(claudeScratchDays) + " days.",
         "sparkles",
         {},
         {},
         {},
         std::nullopt,
         {}},
        appEntry("claude-app", "Claude", "Claude",
                 {"Library/Caches/com.anthropic.claudefordesktop",
                  "Library/Caches/com.anthropic.claudefordesktop.ShipIt",
                  "Library/Caches/claude-cli-nodejs"},
                 "Claude", "com.anthropic.claudefordesktop"),
        appEntry("codex-app", "Codex", "Codex",
                 {"Library/Caches/com.openai.codex", "Library/Caches/com.openai.codex.ShipIt"},
                 "Codex", "com.openai.codex"),
        appEntry("cursor-app", "Cursor", "Cursor",
                 {"Library/Caches/com.todesktop.230313mzl4w4u92",
                  "Library/Caches/com.todesktop.230313mzl4w4u92.ShipIt",
                  "Library/Caches/cursor-compile-cache"},
                 "Cursor", "com.todesktop.230313mzl4w4u92"),
        appEntry("antigravity-app", "Antigravity", "Antigravity IDE",
                 {"Library/Caches/com.google.antigravity-ide",
                  "Library/Caches/com.google.antigravity-ide.ShipIt"},
                 "Antigravity", "com.google.antigravity-ide"),
        appEntry("kimi-app", "Kimi", "kimi-desktop",
                 {"Library/Caches/com.moonshot.kimichat",
                  "Library/Caches/com.moonshot.kimichat.ShipIt",
                  "Library/Caches/kimi-desktop-updater"},
                 "kimi-desktop", "com.moonshot.kimichat"),
        appEntry(
            "vscode-app", "VS Code", "Code",
            {"Library/Caches/com.microsoft.VSCode", "Library/Caches/com.microsoft.VSCode.ShipIt"},
            "Code", "com.microsoft.VSCode"),
        {"pip-cache",
         Category::python,
         "pip cache",
         "Downloaded wheels. pip fetches them again.",
         "shippingbox",
         {"Library/Caches/pip", ".cache/pip"},
         {},
         {},
         std::nullopt,
         {"pip", "pip3"}},
        {"uv-cache",
         Category::python,
         "uv cache",
         "Downloaded packages. uv fetches them again.",
         "shippingbox",
         {"Library/Caches/uv", ".cache/uv"},
         {},
         {},
         std::nullopt,
         {"uv", "uvx"}},
        {"cocoapods-cache",
         Category::mobile,
         "CocoaPods cache",
         "Downloaded pods. Fetched again on `pod install`.",
         "shippingbox",
         {"Library/Caches/CocoaPods"},
         {},
         {},
         std::nullopt,
         {"pod"}},
        {"carthage-cache",
         Category::mobile,
         "Carthage cache",
         "Downloaded frameworks. Fetched again when needed.",
         "shippingbox",
         {"Library/Caches/org.carthage.CarthageKit"},
         {},
         {},
         std::nullopt,
         {"carthage"}},
        {"gradle-cache",
         Category::mobile,
         "Gradle cache",
         "Downloaded dependencies. Gradle fetches them again on the next build.",
         "shippingbox",
         {".gradle/caches"},
         {},
         {},
         std::nullopt,
         {"gradle", "gradlew"}},
        {"homebrew-cache",
         Category::other,
         "Homebrew downloads",
         "Downloaded installers. Fetched again when needed.",
         "mug",
         {"Library/Caches/Homebrew"},
         {".cache/Homebrew"},
         {},
         std::nullopt,
         {"brew"}},
        {"go-build-cache",
         Category::other,
         "Go build cache",
         "Compiled packages. Rebuilt on the next build.",
         "hammer",
         {"Library/Caches/go-build", ".cache/go-build"},
         {},
         {},
         std::nullopt,
         {"go"}},
        {"cargo-registry",
         Category::other,
         "Cargo downloads",
         "Downloaded crates. Cargo fetches them again.",
         "shippingbox",
         {".cargo/registry/cache", ".cargo/registry/src"},
         {},
         {},
         std::nullopt,
         {"cargo"}},
    };
    return table;
}

Paths rootsOf(const Entry& entry, const std::filesystem::path& home,
              const CustomLocations& customLocations, Platform platform) {
    Paths roots;
    for (const auto& relative : entry.macRoots)
        roots.push_back(home / relative);
    if (platform == Platform::Linux) {
        for (const auto& relative : entry.linuxRoots)
            roots.push_back(home / relative);
    }
    if (auto custom = customLocations.find(entry.id); custom != customLocations.end())
        std::copy_if(custom->second.begin(), custom->second.end(), std::back_inserter(roots),
                     [](const auto& root) { return !hasNulByte(root); });
    return roots;
}

CleanupItem itemFor(const Entry& entry, const std::filesystem::path& home,
                    const std::filesystem::path& claudeScratch,
                    const CustomLocations& customLocations, Platform platform) {
    CleanupItem item{.id = entry.id,
                     .category = entry.category,
                     .title = entry.title,
                     .detail = entry.detail,
                     .symbol = entry.symbol,
                     .risk = Risk::regrows,
                     .sizeRoots = {},
                     .action = CleanupActions::EmptyDirectories{},
                     .blockingApps = entry.blockingApps,
                     .blockingAppName = entry.blockingAppName,
                     .selectedByDefault = true,
                     .cachedSize = std::nullopt,
                     .blockingProcesses = entry.blockingProcesses};
    if (entry.id == "simulators") {
        for (const auto& relative : entry.macRoots)
            item.sizeRoots.push_back(home / relative);
        item.risk = Risk::resets;
        item.action = CleanupActions::Simctl{
            {{"shutdown", "all"}, {"delete", "unavailable"}, {"erase", "all"}}};
        item.selectedByDefault = false;
    } else if (entry.id == "claude-scratch") {
        item.risk = Risk::resets;
        item.action = CleanupActions::EmptyOlderThan{{claudeScratch}, claudeScratchDays};
    } else {
        item.sizeRoots = rootsOf(entry, home, customLocations, platform);
        item.action = CleanupActions::EmptyDirectories{item.sizeRoots};
    }
    return item;
}

} // namespace

std::vector<CleanupItem> builtInCatalog(const std::filesystem::path& home,
                                        const std::filesystem::path& claudeScratch,
                                        const CustomLocations& customLocations, Platform platform) {
    std::vector<CleanupItem> items;
    items.reserve(catalogTable().size());
    for (const auto& entry : catalogTable())
        items.push_back(itemFor(entry, home, claudeScratch, customLocations, platform));
    return items;
}

std::filesystem::path claudeScratchDirectory(Platform platform) {
    // On Linux /tmp is a real folder; on macOS /tmp is a link into /private.
    const std::string prefix =
        platform == Platform::macOS ? "/private/tmp/claude-" : "/tmp/claude-";
    return prefix + std::to_string(getuid());
}
