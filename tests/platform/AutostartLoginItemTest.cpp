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
        {"X-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Action Quit]\nHidden=true\n", true},
    };
    for (const auto& [lines, enabled] : copies) {
        AutostartFixture f;
        f.writeByHand("[Desktop Entry]\nType=Application\nName=Pellwick\nExec=pellwick\n" + lines);
        EXPECT_EQ(f.item().isEnabled(), enabled) << lines;
    }
}

// The Exec value is quoted, then string-escaped, so backslashes in a quoted path are doubled
// twice over. The entry written stays valid for the desktop's own checker, where it is installed.
TEST(AutostartLoginItem, ExecQuotesReservedCharacters) {
    const std::pair<QString, QString> paths[] = {
        {"/usr/bin/pellwick", "/usr/bin/pellwick"},
        {"/home/u/My Apps/pellwick", "\"/home/u/My Apps/pellwick\""},
        {"/home/u/100%/pellwick", "/home/u/100%%/pellwick"},
        {"/home/u/$HOME/pell`x`", "\"/home/u/\\\\$HOME/pell\\\\`x\\\\`\""},
        {"/home/u/a\\b", "\"/home/u/a\\\\\\\\b\""},
        {"/home/u/Grüße/pellwick", "/home/u/Grüße/pellwick"},
    };
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    for (const auto& [executable, exec] : paths) {
        SCOPED_TRACE(executable.toStdString());
        AutostartFixture f;
        f.item(executable).setEnabled(true);
        EXPECT_TRUE(f.contents().contains(("\nExec=" + exec + u'\n').toUtf8()))
            << f.contents().toStdString();
        if (validator.isEmpty())
            continue;
        QProcess validate;
        validate.start(validator, {f.path});
        ASSERT_TRUE(validate.waitForFinished(30'000));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    }
}

} // namespace
