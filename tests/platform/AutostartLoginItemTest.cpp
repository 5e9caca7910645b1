#include "platform/linux/AutostartLoginItem.h"
#include "platform/QtPrinting.h"
#include "support/TempTree.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fstream>

namespace {

struct AutostartFixture {
    TempTree tree;
    QString path = QString::fromStdString((tree / "config/autostart/pellwick.desktop").string());

    [[nodiscard]] AutostartLoginItem
    item(const QString& executable = QStringLiteral("/opt/pellwick/bin/pellwick")) const {
        return AutostartLoginItem(path, executable);
    }
    void writeByHand(const std::string& contents) const {
        (void)tree.folder("config/autostart");
        std::ofstream(path.toStdString()) << contents;
    }
    [[nodiscard]] QByteArray contents() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST(AutostartLoginItem, TurnsOnAndOffAndReplacesAHiddenUserCopy) {
    AutostartFixture f;
    auto loginItem = f.item();
    EXPECT_FALSE(loginItem.isEnabled());
    loginItem.setEnabled(true);
    EXPECT_TRUE(loginItem.isEnabled());
    EXPECT_TRUE(f.contents().contains("\nExec=/opt/pellwick/bin/pellwick\n"));
    loginItem.setEnabled(false);
    EXPECT_FALSE(loginItem.isEnabled());
    EXPECT_FALSE(QFile::exists(f.path));

    f.writeByHand("[Desktop Entry]\nType=Application\nName=Pellwick\nExec=old\nHidden=true\n");
    loginItem.setEnabled(true);
    EXPECT_TRUE(loginItem.isEnabled());
    EXPECT_FALSE(f.contents().contains("Hidden"));
}

// Session managers honour a user's edited copy: these keys in its main group switch it off.
TEST(AutostartLoginItem, AUserCopyCountsAsOnUnlessSwitchedOff) {
    const std::pair<std::string, bool> copies[] = {
        {"", true},
        {"Hidden=true\n", false},
        {"Hidden = true\n", false},
        {"Hidden=false\n", true},
        {"X-GNOME-Autostart-enabled=false\n", false},
        {"X-GNOME-Autostart-enabled=true\n", true},
        {"[Desktop Action Quit]\nHidden=true\n", true},
        {"#Hidden=true\n", true},
    };
    for (const auto& [lines, enabled] : copies) {
        AutostartFixture f;
        f.writeByHand("[Desktop Entry]\nType=Application\nName=Pellwick\nExec=pellwick\n" + lines);
        EXPECT_EQ(f.item().isEnabled(), enabled) << lines;
    }
}

// The Exec value is quoted, then string-escaped, so backslashes in a quoted path are doubled
// twice over.
TEST(AutostartLoginItem, ExecQuotesReservedCharacters) {
    const std::pair<QString, QString> paths[] = {
        {"/usr/bin/pellwick", "/usr/bin/pellwick"},
        {"/home/u/My Apps/pellwick", "\"/home/u/My Apps/pellwick\""},
        {"/home/u/100%/pellwick", "/home/u/100%%/pellwick"},
        {"/home/u/$HOME/pell`x`", "\"/home/u/\\\\$HOME/pell\\\\`x\\\\`\""},
        {"/home/u/a\\b", "\"/home/u/a\\\\\\\\b\""},
        {"/home/u/say \"hi\"", "\"/home/u/say \\\\\"hi\\\\\"\""},
        {"/home/u/Grüße/pellwick", "/home/u/Grüße/pellwick"},
    };
    for (const auto& [executable, exec] : paths) {
        const QString entry = QString::fromUtf8(AutostartLoginItem::desktopEntry(executable));
        EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=") + exec + u'\n'))
            << entry.toStdString();
    }
}

TEST(AutostartLoginItem, WritesAValidDesktopEntry) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const QString& executable :
         {QStringLiteral("/usr/bin/pellwick"), QStringLiteral("/home/u/My $Apps/100%/a\\b")}) {
        AutostartFixture f;
        f.item(executable).setEnabled(true);
        QProcess validate;
        validate.start(validator, {f.path});
        ASSERT_TRUE(validate.waitForFinished(30'000));
        EXPECT_EQ(validate.exitCode(), 0)
            << validate.readAllStandardOutput().toStdString() << f.contents().toStdString();
    }
}

} // namespace
