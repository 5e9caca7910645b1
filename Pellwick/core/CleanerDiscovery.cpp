#include "core/CleanerDiscovery.h"

#include "core/StandardPath.h"
#include "core/UserAccount.h"
#include "core/Utf8Text.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Cleaner {
namespace {

// One candidate a probe value proposes: the value with `appended` added, for item `id`.
struct Proposal {
    std::string_view key;
    std::string_view appended;
    std::string_view id;
    std::vector<std::string_view> hints;
};

[[nodiscard]] const std::vector<Proposal>& proposals() {
    static const std::vector<Proposal> table = {
        {"NPM", "_cacache", "npm-cache", {}},
        {"PNPM", "", "pnpm-cache", {"pnpm"}},
        {"YARN", "", "yarn-cache", {"yarn"}},
        {"PIP", "", "pip-cache", {"pip"}},
        {"UV", "", "uv-cache", {"uv"}},
        {"BUN", "install/cache", "bun-cache", {"bun"}},
        {"BREW", "", "homebrew-cache", {"homebrew"}},
        {"GRADLE", "caches", "gradle-cache", {"gradle"}},
        {"CARGO", "registry/cache", "cargo-registry", {"cargo"}},
        {"CARGO", "registry/src", "cargo-registry", {"cargo"}},
        {"GOCACHE", "", "go-build-cache", {"go-build", "gocache"}},
        {"PLAYWRIGHT", "", "playwright", {"playwright"}},
        {"XDG", "pip", "pip-cache", {}},
        {"XDG", "uv", "uv-cache", {}},
        {"XDG", "puppeteer", "puppeteer", {}},
        {"XDG", "go-build", "go-build-cache", {}},
    };
    return table;
}

constexpr std::string_view derivedDataName = "DerivedData";
constexpr std::string_view moduleCacheName = "ModuleCache.noindex";

[[nodiscard]] std::string_view trimmedSpacesAndTabs(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

[[nodiscard]] std::optional<std::filesystem::path> absoluteValue(const ProbeValues& values,
                                                                 std::string_view key) {
    const auto found = values.find(std::string(key));
    if (found == values.end() || !found->second.starts_with('/'))
        return std::nullopt;
    return std::filesystem::path(found->second);
}

[[nodiscard]] std::vector<std::string> nonEmptyPieces(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('/', at), text.size());
        if (end > at)
            pieces.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}

[[nodiscard]] std::string joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (const auto& piece : pieces)
        text += (text.empty() ? "" : "/") + piece;
    return text;
}

[[nodiscard]] std::string lowercased(const std::string& text) {
    std::string lower;
    icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(lower);
    return lower;
}

[[nodiscard]] bool isFolder(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A failed read counts as no link: the folder test before it already needed the path.
[[nodiscard]] bool isSymbolicLink(const std::filesystem::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

[[nodiscard]] bool pathExists(const std::filesystem::path& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Where a candidate lies: the folder it is measured from (the home folder or a volume's own
// folder) and the pieces of its path below that folder.
struct Placement {
    std::filesystem::path base;
    std::vector<std::string> pieces;
};

[[nodiscard]] std::optional<Placement> placement(const std::string& path, const Vetting& vetting) {
    const std::string home = standardized(vetting.home).string() + "/";
    if (path.starts_with(home))
        return Placement{standardized(vetting.home), nonEmptyPieces(path.substr(home.size()))};
    for (std::string prefix : vetting.volumePrefixes) {
        if (!prefix.ends_with('/'))
            prefix += '/';
        if (!path.starts_with(prefix))
            continue;
        auto pieces = nonEmptyPieces(path.substr(prefix.size()));
        if (pieces.empty())
            return std::nullopt;
        Placement volume{std::filesystem::path(prefix) / pieces.front(), {}};
        volume.pieces.assign(pieces.begin() + 1, pieces.end());
        return volume;
    }
    return std::nullopt;
}

[[nodiscard]] bool isWithin(const std::string& relative, const std::vector<std::string>& guarded) {
    return std::any_of(guarded.begin(), guarded.end(), [&](const std::string& folder) {
        return relative == folder || relative.starts_with(folder + "/");
    });
}

[[nodiscard]] bool isProtected(const std::string& relative, bool inHome, const Vetting& vetting) {
    return isWithin(relative, protectedRelativePaths()) ||
           (inHome && isWithin(relative, vetting.userFolders));
}

// user-dirs.dirs is written by the desktop for the user, but read with care all the same.
constexpr std::size_t userDirsFileLimit = 64 * 1024;

[[nodiscard]] std::string fileText(const std::filesystem::path& path, std::size_t limit) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return text;
    text.resize(limit);
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return text;
}

// `"$HOME/Dokumente"` → "Dokumente"; a value outside the home folder, or the home folder
// itself, gives nothing.
[[nodiscard]] std::optional<std::string> folderBelowHome(std::string_view quoted,
                                                         const std::filesystem::path& home) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return std::nullopt;
    std::string value;
    const std::string_view inner = quoted.substr(1, quoted.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i)
        value += inner[i] == '\\' && i + 1 < inner.size() ? inner[++i] : inner[i];
    std::string relative;
    const std::string homeText = standardized(home).string() + "/";
    if (value.starts_with("$HOME/"))
        relative = value.substr(6);
    else if (value.starts_with(homeText))
        relative = value.substr(homeText.size());
    else
        return std::nullopt;
    relative = joined(nonEmptyPieces(relative));
    if (relative.empty() || relative.find('\0') != std::string::npos)
        return std::nullopt;
    return relative;
}

// A link on the way down would make the relative part lie about where the folder really is
// (a "dev" link to Documents, or a volume folder that links to the system disk).
[[nodiscard]] bool passesThroughLink(const Placement& placement, bool baseIsVolume) {
    if (baseIsVolume && isSymbolicLink(placement.base))
        return true;
    std::filesystem::path step = placement.base;
    for (std::size_t i = 0; i + 1 < placement.pieces.size(); ++i) {
        step /= placement.pieces[i];
        if (isSymbolicLink(step))
            return true;
    }
    return false;
}

[[nodiscard]] bool matchesHint(const std::filesystem::path& path,
                               const std::vector<std::string_view>& hints) {
    std::vector<std::string> components;
    for (const auto& component : path)
        components.push_back(lowercased(component.string()));
    const std::size_t first = components.size() > 3 ? components.size() - 3 : 0;
    return std::any_of(components.begin() + static_cast<std::ptrdiff_t>(first), components.end(),
                       [&](const std::string& component) {
                           return std::any_of(hints.begin(), hints.end(), [&](auto hint) {
                               return component.find(hint) != std::string::npos;
                           });
                       });
}

[[nodiscard]] bool overlapsBuiltInRoot(const std::string& path, const AllowedRoots& builtInRoots) {
    return std::any_of(builtInRoots.begin(), builtInRoots.end(), [&](const std::string& root) {
        return path == root || isInside(path, root) || isInside(root, path);
    });
}

void addDerivedData(CustomLocations& result, const ProbeValues& values, const Vetting& vetting,
                    const AllowedRoots& builtInRoots) {
    const auto folder = absoluteValue(values, "DERIVED");
    if (!folder)
        return;
    if (standardized(*folder).filename() == derivedDataName ||
        pathExists(*folder / moduleCacheName))
        addCustomLocation(result, "derived-data", *folder, {}, vetting, builtInRoots);
}

} // namespace

const std::vector<std::string>& protectedRelativePaths() {
    static const std::vector<std::string> paths = {
        "Documents",
        "Desktop",
        "Downloads",
        "Pictures",
        "Movies",
        "Music",
        ".ssh",
        ".gnupg",
        ".aws",
        ".config",
        ".claude",
        ".codex",
        "Library/Keychains",
        "Library/Mail",
        "Library/Messages",
        "Library/Mobile Documents",
        "Library/Application Support/Claude",
        ".local/share/keyrings",
        ".local/share/Trash",
        ".password-store",
        ".mozilla",
        ".thunderbird",
        ".pki",
        ".kube",
        ".docker",
        ".azure",
        ".oci",
        ".terraform.d",
        ".local/share/gnupg",
    };
    return paths;
}

std::vector<std::string> defaultVolumePrefixes() {
    std::vector<std::string> prefixes = {"/Volumes/"};
    const auto account = currentUserAccount();
    if (account && !account->name.empty() && account->name.find('/') == std::string::npos) {
        const std::string& user = account->name;
        prefixes.push_back("/media/" + user + "/");
        prefixes.push_back("/run/media/" + user + "/");
    }
    prefixes.push_back("/mnt/");
    return prefixes;
}

std::vector<std::string> userFolders(const std::filesystem::path& home,
                                     const std::filesystem::path& configHome) {
    std::vector<std::string> folders = {"Desktop",  "Documents", "Downloads", "Music",
                                        "Pictures", "Public",    "Templates", "Videos"};
    const std::string text =
        repairedUtf8(fileText(configHome / "user-dirs.dirs", userDirsFileLimit));
    for (const auto line : nonEmptyLines(text)) {
        const auto trimmed = trimmedSpacesAndTabs(line);
        const std::size_t equals = trimmed.find('=');
        if (!trimmed.starts_with("XDG_") || equals == std::string_view::npos)
            continue;
        auto folder = folderBelowHome(trimmedSpacesAndTabs(trimmed.substr(equals + 1)), home);
        if (folder && std::find(folders.begin(), folders.end(), *folder) == folders.end())
            folders.push_back(std::move(*folder));
    }
    return folders;
}

std::filesystem::path configHomeFor(const std::filesystem::path& home) {
    const char* configured = std::getenv("XDG_CONFIG_HOME");
    if (configured && configured[0] == '/')
        return configured;
    return home / ".config";
}

const std::string& probeScript() {
    static const std::string script = [] {
        const std::vector<std::string_view> lines = {
            "echo __PELLWICK_BEGIN__",
            R"~(echo "NPM=$(npm config get cache 2>/dev/null)")~",
            R"~(echo "PNPM=$(pnpm store path 2>/dev/null)")~",
            R"~(echo "YARN=$(yarn cache dir 2>/dev/null)")~",
            R"~(echo "PIP=$(pip3 cache dir 2>/dev/null)")~",
            R"~(echo "UV=$(uv cache dir 2>/dev/null)")~",
            R"~(echo "BUN=$BUN_INSTALL")~",
            R"~(echo "BREW=${HOMEBREW_CACHE:-$(brew --cache 2>/dev/null)}")~",
            R"~(echo "GRADLE=$GRADLE_USER_HOME")~",
            R"~(echo "CARGO=$CARGO_HOME")~",
            R"~(echo "GOCACHE=$(go env GOCACHE 2>/dev/null)")~",
            R"~(echo "PLAYWRIGHT=$PLAYWRIGHT_BROWSERS_PATH")~",
            R"~(echo "XDG=$XDG_CACHE_HOME")~",
        };
        std::string text;
        for (const auto line : lines)
            text.append(text.empty() ? "" : "\n").append(line);
        return text;
    }();
    return script;
}

CustomLocations discoverToolCaches(const std::filesystem::path& home,
                                   std::chrono::milliseconds timeout,
                                   const DiscoveryOptions& options) {
    LoginShellOptions shell = options.shell;
    if (shell.workingDirectory.empty())
        shell.workingDirectory = home;
    auto values = parseProbeOutput(runLoginShell(probeScript(), timeout, shell));
    if (options.derivedDataLocation)
        values["DERIVED"] = *options.derivedDataLocation;
    const Vetting vetting{home, options.volumePrefixes, userFolders(home, configHomeFor(home))};
    return customLocations(values, vetting, options.claudeScratch);
}

ProbeValues parseProbeOutput(std::string_view text) {
    ProbeValues values;
    bool afterMarker = false;
    for (const auto line : nonEmptyLines(text)) {
        if (line == probeBeginMarker) {
            afterMarker = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!afterMarker || equals == std::string_view::npos)
            continue;
        const auto value = trimmedSpacesAndTabs(line.substr(equals + 1));
        if (!value.empty() && value.find('\0') == std::string_view::npos)
            values[std::string(line.substr(0, equals))] = std::string(value);
    }
    return values;
}

CustomLocations customLocations(const ProbeValues& values, const Vetting& vetting,
                                const std::filesystem::path& claudeScratch) {
    const AllowedRoots builtInRoots = allowedRoots(vetting.home, claudeScratch, {});
    CustomLocations result;
    for (const auto& proposal : proposals()) {
        auto folder = absoluteValue(values, proposal.key);
        if (!folder)
            continue;
        if (!proposal.appended.empty())
            *folder /= proposal.appended;
        addCustomLocation(result, std::string(proposal.id), *folder, proposal.hints, vetting,
                          builtInRoots);
    }
    addDerivedData(result, values, vetting, builtInRoots);
    return result;
}

void addCustomLocation(CustomLocations& result, const std::string& id,
                       const std::filesystem::path& candidate,
                       const std::vector<std::string_view>& hints, const Vetting& vetting,
                       const AllowedRoots& builtInRoots) {
    const std::filesystem::path folder = standardized(candidate);
    if (!isSafeCustomLocation(folder, vetting))
        return;
    if (!hints.empty() && !matchesHint(folder, hints))
        return;
    if (overlapsBuiltInRoot(folder.string(), builtInRoots))
        return;
    auto& list = result[id];
    if (std::find(list.begin(), list.end(), folder) == list.end())
        list.push_back(folder);
}

bool isSafeCustomLocation(const std::filesystem::path& folder, const Vetting& vetting) {
    const std::filesystem::path path = standardized(folder);
    if (hasNulByte(path) || !isFolder(path) || isSymbolicLink(path))
        return false;
    const auto where = placement(path.string(), vetting);
    if (!where || where->pieces.size() < 2)
        return false;
    const bool inHome = where->base == standardized(vetting.home);
    return !isProtected(joined(where->pieces), inHome, vetting) &&
           !passesThroughLink(*where, !inHome);
}

} // namespace Cleaner
