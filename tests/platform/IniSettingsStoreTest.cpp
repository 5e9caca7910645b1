#include "platform/linux/IniSettingsStore.h"
#include "platform/QtPrinting.h"
#include "platform/linux/AutostartLoginItem.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

struct SettingsFile {
    TempTree tree;
    QString path = QString::fromStdString((tree / "config/pellwick/pellwick.conf").string());

    [[nodiscard]] IniSettingsStore writtenByHand(const std::string& contents) const {
        (void)tree.folder("config/pellwick");
        std::ofstream(path.toStdString()) << "[General]\n" << contents;
        return IniSettingsStore(path);
    }
};

// Each value one store writes, another store on the same file reads back at once.
TEST(IniSettingsStore, ReadsBackWhatWasWritten) {
    SettingsFile f;
    IniSettingsStore writer(f.path);
    const IniSettingsStore reader(f.path);
    const QStringList lists[] = {
        {}, {"/home/u/a", "/home/u/Grüße/日本語"}, {"/home/u/one, two"}, {"@Invalid()"}};
    for (const QStringList& list : lists) {
        writer.setStringList(QStringLiteral("projectRoots"), list);
        EXPECT_EQ(reader.stringListValue(QStringLiteral("projectRoots")), list);
    }
    writer.setBool(QStringLiteral("onboardingCompleted"), true);
    EXPECT_EQ(reader.boolValue(QStringLiteral("onboardingCompleted")), true);
    for (const double threshold : {12.75, 30.0}) {
        writer.setDouble(QStringLiteral("thresholdGB"), threshold);
        EXPECT_EQ(reader.doubleValue(QStringLiteral("thresholdGB")), threshold);
    }
}

// A hand-edited file: values of the wrong type count as absent, thresholds only as finite
// numbers.
TEST(IniSettingsStore, ReadsHandWrittenValuesOfTheRightTypeOnly) {
    // A file of its own each time: Qt caches what it read by file name and time.
    const SettingsFile f, g;
    const auto wrong = f.writtenByHand("onboardingCompleted=maybe\nthresholdGB=abc\n"
                                       "projectRoots=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n");
    EXPECT_EQ(wrong.boolValue(QStringLiteral("onboardingCompleted")), std::nullopt);
    EXPECT_EQ(wrong.stringListValue(QStringLiteral("projectRoots")), std::nullopt);
    const auto right = g.writtenByHand("projectRoots=/a, /b\nonboardingCompleted=false\n");
    EXPECT_EQ(right.stringListValue(QStringLiteral("projectRoots")), (QStringList{"/a", "/b"}));
    EXPECT_EQ(right.boolValue(QStringLiteral("onboardingCompleted")), false);

    const std::pair<std::string, std::optional<double>> thresholds[] = {
        {"7.5", 7.5}, {"1e1", 10.0}, {"20GB", {}}, {"nan", {}}, {"inf", {}}, {"10, 20", {}},
    };
    for (const auto& [text, expected] : thresholds) {
        const SettingsFile file;
        EXPECT_EQ(file.writtenByHand("thresholdGB=" + text + "\n")
                      .doubleValue(QStringLiteral("thresholdGB")),
                  expected)
            << text;
    }
}

// Both files live below $XDG_CONFIG_HOME when it is an absolute path, below ~/.config otherwise.
TEST(XdgConfigHome, PlacesTheSettingsAndTheAutostartEntry) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/pellwick-config");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), "/tmp/pellwick-config/pellwick/pellwick.conf");
    EXPECT_EQ(AutostartLoginItem::defaultEntryPath(),
              "/tmp/pellwick-config/autostart/pellwick.desktop");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_TRUE(IniSettingsStore::defaultFilePath().endsWith("/.config/pellwick/pellwick.conf"));
    qputenv("XDG_CONFIG_HOME", saved); // empty counts as unset
}

} // namespace
