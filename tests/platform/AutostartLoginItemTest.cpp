#include "platform/linux/AutostartLoginItem.h"
#include "platform/QtPrinting.h"
#include "support/TempTree.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

struct AutostartFixture {
    TempTree tree;
    QString path = QString::fromStdString((tree / "config/autostart/pellwick.desktop").string());
};

// Session managers honour a user's edited copy: these keys in its main group switch it off.
// Turning the item on replaces any copy with one that runs, turning it off removes it.
TEST(AutostartLoginItem, AUserCopyCountsAsOnUnlessSwitchedOff) {
    const std::pair<std::string, bool> copies[] = {
        {"", true},
        {"Hidden=true\n", false},
        {"Hidden = true\n", false},
        {"X-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Action Quit]\nHidden=true\n", true},
    };
    for (const auto& [lines, enabled] : copies) {
        SCOPED_TRACE(lines);
        AutostartFixture f;
        f.tree.text("config/autostart/pellwick.desktop",
                    "[Desktop Entry]\nType=Application\nName=Pellwick\nExec=pellwick\n" + lines);
        AutostartLoginItem loginItem(f.path, "/opt/pellwick");
        EXPECT_EQ(loginItem.isEnabled(), enabled);
        loginItem.setEnabled(true);
        EXPECT_TRUE(loginItem.isEnabled());
        loginItem.setEnabled(false);
        EXPECT_FALSE(QFile::exists(f.path));
        EXPECT_FALSE(loginItem.isEnabled());
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
        AutostartLoginItem(f.path, executable).setEnabled(true);
        QFile entry(f.path);
        ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
        const QByteArray contents = entry.readAll();
        EXPECT_TRUE(contents.contains(("\nExec=" + exec + u'\n').toUtf8())) << contents.data();
        if (validator.isEmpty())
            continue;
        QProcess validate;
        validate.start(validator, {f.path});
        ASSERT_TRUE(validate.waitForFinished(30'000));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    }
}

} // namespace
