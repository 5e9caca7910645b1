#include "platform/linux/AutostartLoginItem.h"
#include "support/TempTree.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "platform/QtPrinting.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class AutostartLoginItemTest : public testing::Test {
protected:
    [[nodiscard]] QString entryPath() const {
        return QString::fromStdString((tree_ / "config/autostart/pellwick.desktop").string());
    }

    [[nodiscard]] AutostartLoginItem
    item(const QString& executable = QStringLiteral("/opt/pellwick/bin/pellwick")) const {
        return AutostartLoginItem(entryPath(), executable);
    }

    void writeEntryByHand(const std::string& contents) const {
        (void)tree_.folder("config/autostart");
        std::ofstream(entryPath().toStdString()) << contents;
    }

    [[nodiscard]] QByteArray entryContents() const {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempTree tree_;
};

TEST_F(AutostartLoginItemTest, TurnsOnAndOff) {
    auto loginItem = item();
    EXPECT_FALSE(loginItem.isEnabled());
    loginItem.setEnabled(true);
    EXPECT_TRUE(loginItem.isEnabled());
    EXPECT_TRUE(entryContents().contains("\nExec=/opt/pellwick/bin/pellwick\n"));
    loginItem.setEnabled(false);
    EXPECT_FALSE(loginItem.isEnabled());
    EXPECT_FALSE(QFile::exists(entryPath()));
    loginItem.setEnabled(false);
    EXPECT_FALSE(loginItem.isEnabled());
}

struct UserCopy {
    std::string contents;
    bool enabled;
};

class UserCopyTest : public AutostartLoginItemTest, public testing::WithParamInterface<UserCopy> {};

// Session managers honour a user's edited copy: these keys switch the entry off in place.
TEST_P(UserCopyTest, CountsAsOnOnlyWhenNotSwitchedOff) {
    writeEntryByHand("[Desktop Entry]\nType=Application\nName=Pellwick\nExec=pellwick\n" +
                     GetParam().contents);
    EXPECT_EQ(item().isEnabled(), GetParam().enabled) << GetParam().contents;
}

INSTANTIATE_TEST_SUITE_P(Copies, UserCopyTest,
                         testing::Values(UserCopy{"", true}, UserCopy{"Hidden=true\n", false},
                                         UserCopy{"Hidden = true\n", false},
                                         UserCopy{"Hidden=false\n", true},
                                         UserCopy{"X-GNOME-Autostart-enabled=false\n", false},
                                         UserCopy{"X-GNOME-Autostart-enabled=true\n", true},
                                         UserCopy{"[Desktop Action Quit]\nHidden=true\n", true},
                                         UserCopy{"#Hidden=true\n", true}));

TEST_F(AutostartLoginItemTest, TurningOnReplacesAHiddenUserCopy) {
    writeEntryByHand("[Desktop Entry]\nType=Application\nName=Pellwick\nExec=old\nHidden=true\n");
    auto loginItem = item();
    loginItem.setEnabled(true);
    EXPECT_TRUE(loginItem.isEnabled());
    EXPECT_FALSE(entryContents().contains("Hidden"));
}

struct ExecCase {
    QString executable;
    QString execValue;
};

class ExecQuotingTest : public testing::TestWithParam<ExecCase> {};

// The Exec value is quoted, then string-escaped, so backslashes in a quoted path are doubled
// twice over.
TEST_P(ExecQuotingTest, QuotesReservedCharacters) {
    const QString entry =
        QString::fromUtf8(AutostartLoginItem::desktopEntry(GetParam().executable));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=") + GetParam().execValue + u'\n'))
        << entry.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuotingTest,
    testing::Values(ExecCase{"/usr/bin/pellwick", "/usr/bin/pellwick"},
                    ExecCase{"/home/u/My Apps/pellwick", "\"/home/u/My Apps/pellwick\""},
                    ExecCase{"/home/u/100%/pellwick", "/home/u/100%%/pellwick"},
                    ExecCase{"/home/u/$HOME/pell`x`", "\"/home/u/\\\\$HOME/pell\\\\`x\\\\`\""},
                    ExecCase{"/home/u/a\\b", "\"/home/u/a\\\\\\\\b\""},
                    ExecCase{"/home/u/say \"hi\"", "\"/home/u/say \\\\\"hi\\\\\"\""},
                    ExecCase{"/home/u/Grüße/pellwick", "/home/u/Grüße/pellwick"}));

TEST_F(AutostartLoginItemTest, WritesAValidDesktopEntry) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const QString& executable :
         {QStringLiteral("/usr/bin/pellwick"), QStringLiteral("/home/u/My $Apps/100%/a\\b")}) {
        auto loginItem = item(executable);
        loginItem.setEnabled(true);
        QProcess validate;
        validate.start(validator, {entryPath()});
        ASSERT_TRUE(validate.waitForFinished(30'000));
        EXPECT_EQ(validate.exitCode(), 0)
            << validate.readAllStandardOutput().toStdString() << entryContents().toStdString();
    }
}

TEST_F(AutostartLoginItemTest, DefaultEntryFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/pellwick-config");
    EXPECT_EQ(AutostartLoginItem::defaultEntryPath(),
              QStringLiteral("/tmp/pellwick-config/autostart/pellwick.desktop"));
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
