#include "platform/linux/IniSettingsStore.h"
#include "support/TempTree.h"

#include <QFile>
#include <QString>

#include "platform/QtPrinting.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class IniSettingsStoreTest : public testing::Test {
protected:
    [[nodiscard]] QString filePath() const {
        return QString::fromStdString((tree_ / "config/pellwick/pellwick.conf").string());
    }

    void writeFileByHand(const std::string& contents) const {
        (void)tree_.folder("config/pellwick");
        std::ofstream(filePath().toStdString()) << contents;
    }

    TempTree tree_;
};

class StringListRoundTripTest : public IniSettingsStoreTest,
                                public testing::WithParamInterface<QStringList> {};

// Each list is written by one store and read by a fresh one, as at the next launch.
TEST_P(StringListRoundTripTest, ReadsBackWhatWasWritten) {
    IniSettingsStore(filePath()).setStringList(QStringLiteral("projectRoots"), GetParam());
    EXPECT_EQ(IniSettingsStore(filePath()).stringListValue(QStringLiteral("projectRoots")),
              GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, StringListRoundTripTest,
    testing::Values(QStringList{}, QStringList{QStringLiteral("/home/u/Developing")},
                    QStringList{QStringLiteral("/home/u/a"), QStringLiteral("/home/u/b")},
                    QStringList{QStringLiteral("/home/u/one, two")},
                    QStringList{QStringLiteral("/home/u/a,b"), QStringLiteral("/home/u/c;d")},
                    QStringList{QStringLiteral("/home/u/My Projects "), QStringLiteral(" lead")},
                    QStringList{QStringLiteral("/home/u/Projekte/Grüße/日本語")},
                    QStringList{QStringLiteral("/home/u/\"quoted\" and \\back")},
                    QStringList{QStringLiteral("@Invalid()")}, QStringList{QString()}));

TEST_F(IniSettingsStoreTest, BoolAndDoubleRoundTrip) {
    {
        IniSettingsStore store(filePath());
        store.setBool(QStringLiteral("onboardingCompleted"), true);
        store.setDouble(QStringLiteral("thresholdGB"), 12.75);
    }
    const IniSettingsStore reopened(filePath());
    EXPECT_EQ(reopened.boolValue(QStringLiteral("onboardingCompleted")), true);
    EXPECT_EQ(reopened.doubleValue(QStringLiteral("thresholdGB")), 12.75);
}

// Every write is on disk before the call returns, so another reader sees it at once.
TEST_F(IniSettingsStoreTest, EveryWriteIsOnDiskAtOnce) {
    IniSettingsStore writer(filePath());
    const IniSettingsStore reader(filePath());
    writer.setDouble(QStringLiteral("thresholdGB"), 30);
    EXPECT_EQ(reader.doubleValue(QStringLiteral("thresholdGB")), 30.0);
    writer.setDouble(QStringLiteral("thresholdGB"), 35);
    EXPECT_EQ(reader.doubleValue(QStringLiteral("thresholdGB")), 35.0);
    EXPECT_TRUE(QFile::exists(filePath()));
}

TEST_F(IniSettingsStoreTest, AbsentKeysAreAbsent) {
    const IniSettingsStore store(filePath());
    EXPECT_EQ(store.boolValue(QStringLiteral("onboardingCompleted")), std::nullopt);
    EXPECT_EQ(store.doubleValue(QStringLiteral("thresholdGB")), std::nullopt);
    EXPECT_EQ(store.stringListValue(QStringLiteral("projectRoots")), std::nullopt);
}

TEST_F(IniSettingsStoreTest, HandWrittenValuesOfTheWrongTypeCountAsAbsent) {
    writeFileByHand("[General]\n"
                    "onboardingCompleted=maybe\n"
                    "thresholdGB=abc\n"
                    "projectRoots=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n");
    const IniSettingsStore store(filePath());
    EXPECT_EQ(store.boolValue(QStringLiteral("onboardingCompleted")), std::nullopt);
    EXPECT_EQ(store.doubleValue(QStringLiteral("thresholdGB")), std::nullopt);
    EXPECT_EQ(store.stringListValue(QStringLiteral("projectRoots")), std::nullopt);
}

struct ThresholdText {
    std::string text;
    std::optional<double> expected;
};

class ThresholdTextTest : public IniSettingsStoreTest,
                          public testing::WithParamInterface<ThresholdText> {};

TEST_P(ThresholdTextTest, ParsesOnlyFiniteNumbers) {
    writeFileByHand("[General]\nthresholdGB=" + GetParam().text + "\n");
    EXPECT_EQ(IniSettingsStore(filePath()).doubleValue(QStringLiteral("thresholdGB")),
              GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ThresholdTextTest,
                         testing::Values(ThresholdText{"20", 20.0}, ThresholdText{"7.5", 7.5},
                                         ThresholdText{"1e1", 10.0}, ThresholdText{"abc", {}},
                                         ThresholdText{"20GB", {}}, ThresholdText{"nan", {}},
                                         ThresholdText{"inf", {}}, ThresholdText{"", {}},
                                         ThresholdText{"10, 20", {}}, ThresholdText{"true", {}}));

TEST_F(IniSettingsStoreTest, HandWrittenListsRead) {
    writeFileByHand("[General]\nprojectRoots=/a, /b\nonboardingCompleted=false\n");
    const IniSettingsStore store(filePath());
    EXPECT_EQ(store.stringListValue(QStringLiteral("projectRoots")),
              (QStringList{QStringLiteral("/a"), QStringLiteral("/b")}));
    EXPECT_EQ(store.boolValue(QStringLiteral("onboardingCompleted")), false);
}

TEST_F(IniSettingsStoreTest, DefaultFileFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/pellwick-config");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              QStringLiteral("/tmp/pellwick-config/pellwick/pellwick.conf"));
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_TRUE(IniSettingsStore::defaultFilePath().endsWith(
        QStringLiteral("/.config/pellwick/pellwick.conf")));
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
