// A tool for benchmarks and acceptance checks: each subcommand runs one engine function on
// real folders and prints plain lines.
#include "core/BuiltInCatalog.h"
#include "core/ByteCountFormat.h"
#include "core/CleanerDiscovery.h"
#include "core/CleanerGuard.h"
#include "core/CleanerMeasurement.h"
#include "core/ProjectScanner.h"
#include "core/StandardPath.h"
#include "core/UtilityPriority.h"
#include "core/VersionComparison.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

struct BadArguments {
    std::string message;
};

std::int64_t parseInteger(const std::string& text) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        throw BadArguments{"not a whole number: " + text};
    }
    if (used != text.size())
        throw BadArguments{"not a whole number: " + text};
    return value;
}

std::filesystem::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        throw BadArguments{"HOME is not set"};
    return home;
}

void requireCount(const Arguments& arguments, std::size_t minimum, const std::string& usage) {
    if (arguments.size() < minimum)
        throw BadArguments{"usage: pellwick-bench " + usage};
}

int size(const Arguments& arguments) {
    requireCount(arguments, 1, "size PATH...");
    for (const auto& path : arguments)
        std::cout << Cleaner::allocatedSize(path) << '\t' << path << '\n';
    return 0;
}

int touched(const Arguments& arguments) {
    requireCount(arguments, 1, "touched PATH");
    const auto newest = Cleaner::lastTouched(arguments.at(0));
    std::cout << std::chrono::duration_cast<std::chrono::seconds>(newest.time_since_epoch()).count()
              << '\n';
    return 0;
}

int older(const Arguments& arguments) {
    requireCount(arguments, 2, "older PATH DAYS");
    const auto days = static_cast<int>(parseInteger(arguments.at(1)));
    const auto cutoff = cutoffBefore(std::chrono::system_clock::now(), days);
    for (const auto& entry : Cleaner::untouchedEntries(arguments.at(0), cutoff))
        std::cout << entry.string() << '\n';
    return 0;
}

// The model's own limit for the login-shell probe at start.
constexpr std::chrono::seconds discoveryLimit{20};

int discover(const Arguments&) {
    for (const auto& [id, folders] : Cleaner::discoverToolCaches(homeFolder(), discoveryLimit))
        for (const auto& folder : folders)
            std::cout << id << '\t' << folder.string() << '\n';
    return 0;
}

// Measured as the model measures a scan: every item at once. "--without-probe" leaves the
// login-shell probe out, so only the measuring is timed.
int catalog(const Arguments& arguments) {
    const bool probe = arguments.empty();
    if (!probe && (arguments.size() != 1 || arguments[0] != "--without-probe"))
        throw BadArguments{"usage: pellwick-bench catalog [--without-probe]"};
    enterUtilityPriority(); // as the program measures: the walk's threads inherit it
    const auto home = homeFolder();
    const auto items = builtInCatalog(home, claudeScratchDirectory(),
                                      probe ? Cleaner::discoverToolCaches(home, discoveryLimit)
                                            : CustomLocations{});
    const auto sizes = Cleaner::measureAll(items, std::chrono::system_clock::now());
    for (std::size_t i = 0; i < items.size(); ++i)
        std::cout << items[i].id << '\t' << sizes[i] << '\t' << formatByteCount(sizes[i]) << '\n';
    return 0;
}

int bytes(const Arguments& arguments) {
    requireCount(arguments, 1, "bytes N...");
    for (const auto& number : arguments)
        std::cout << formatByteCount(parseInteger(number)) << '\n';
    return 0;
}

int vercmp(const Arguments& arguments) {
    if (arguments.size() != 2)
        throw BadArguments{"usage: pellwick-bench vercmp A B"};
    const auto order = compareVersions(arguments.at(0), arguments.at(1));
    std::cout << (order < 0 ? "<" : order > 0 ? ">" : "=") << '\n';
    return 0;
}

// Empties the folder as a sweep would, with only that folder whitelisted.
int empty(const Arguments& arguments) {
    if (arguments.size() != 1)
        throw BadArguments{"usage: pellwick-bench empty PATH"};
    const auto folder = standardized(std::filesystem::absolute(arguments.at(0)));
    CleanupItem item;
    item.id = "bench-empty";
    item.action = CleanupActions::EmptyDirectories{{folder}};
    try {
        std::cout << Cleaner::clean(item, {folder.string()}, Cleaner::measuredRoots(item)) << '\n';
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}

// The dormant projects under the roots, largest first: bytes, project, artefact names.
int scan(const Arguments& arguments) {
    const std::string usage = "scan [--days N] ROOT...";
    int days = 60;
    std::vector<std::filesystem::path> roots;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--days") {
            roots.push_back(standardized(std::filesystem::absolute(arguments[i])));
            continue;
        }
        requireCount(arguments, i + 2, usage);
        const auto value = parseInteger(arguments[++i]);
        if (value < 0 || value > 1'000'000)
            throw BadArguments{"days out of range: " + arguments[i]};
        days = static_cast<int>(value);
    }
    if (roots.empty())
        throw BadArguments{"usage: pellwick-bench " + usage};
    for (const auto& project :
         ProjectScanner::scan(roots, std::chrono::system_clock::now(), days)) {
        std::string names;
        for (const auto& name : project.artifactNames())
            names += (names.empty() ? "" : ", ") + name;
        std::cout << project.size << '\t' << project.root.string() << '\t' << names << '\n';
    }
    return 0;
}

const std::map<std::string, std::function<int(const Arguments&)>>& subcommands() {
    static const std::map<std::string, std::function<int(const Arguments&)>> table{
        {"size", size},       {"touched", touched},   {"older", older},
        {"catalog", catalog}, {"discover", discover}, {"bytes", bytes},
        {"vercmp", vercmp},   {"scan", scan},         {"empty", empty},
    };
    return table;
}

} // namespace

int main(int argc, char** argv) {
    const Arguments all(argv + 1, argv + argc);
    try {
        if (all.empty() || !subcommands().contains(all.front())) {
            std::string names;
            for (const auto& [name, run] : subcommands())
                names += (names.empty() ? "" : "|") + name;
            throw BadArguments{"usage: pellwick-bench " + names + " ..."};
        }
        return subcommands().at(all.front())(Arguments(all.begin() + 1, all.end()));
    } catch (const BadArguments& bad) {
        std::cerr << bad.message << '\n';
        return 2;
    }
}
