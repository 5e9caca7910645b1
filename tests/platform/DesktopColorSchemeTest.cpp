#include "platform/linux/DesktopColorScheme.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The portal's value arrives wrapped once in its change signal and twice by Read; the run
// against the stand-in portal below covers both.
TEST(DesktopColorScheme, ReadsEachDesktopsOwnSetting) {
    using enum ColorScheme;
    EXPECT_EQ(DesktopColorScheme::fromPortalValue(QStringLiteral("1")), noPreference);
    EXPECT_EQ(DesktopColorScheme::fromGnomeSetting("color-scheme: 'prefer-light'\n"), light);
    const std::pair<const char*, ColorScheme> kde[] = {
        {"[General]\nColorScheme=BreezeDark\n\n[Colors:Window]\nBackgroundNormal=32,35,38\n", dark},
        {"[Colors:View]\nBackgroundNormal=20,20,20\n[Colors:Window]\nBackgroundNormal = "
         "239,240,241\n",
         light},
        {"[Colors:Window]\nBackgroundNormal=dark\n", noPreference},
    };
    for (const auto& [text, scheme] : kde)
        EXPECT_EQ(DesktopColorScheme::fromKdeGlobals(text), scheme) << text;
}

// Against a stand-in portal on the private session bus (the CTest entry runs the suite under
// dbus-run-session). It is one before version 2: asked for ReadOne, it has only Read.
TEST(DBusColorScheme, FollowsThePortalAndSignalsOnlyRealChanges) {
    if (!qEnvironmentVariableIsSet("PELLWICK_TEST_PRIVATE_BUS"))
        GTEST_SKIP() << "needs a private session bus (run through ctest)";
    const auto portalOnBus = [] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.portal.Desktop"));
    };
    QProcess portal;
    portal.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(PELLWICK_TEST_SUPPORT_DIR "/fake_portal.py"), "1", "--version1"});
    ASSERT_TRUE(QTest::qWaitFor(portalOnBus, 20'000)) << portal.readAllStandardError().data();

    DesktopColorScheme scheme(QDBusConnection::sessionBus(), {});
    QSignalSpy changes(&scheme, &ColorSchemeSource::colorSchemeChanged);
    ASSERT_TRUE(changes.wait(10'000));
    EXPECT_EQ(scheme.colorScheme(), ColorScheme::dark);

    portal.write("2\n2\n1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 3; }, 10'000));
    EXPECT_EQ(changes[1].at(0).value<ColorScheme>(), ColorScheme::light);
    EXPECT_EQ(scheme.colorScheme(), ColorScheme::dark);
    portal.closeWriteChannel();
    ASSERT_TRUE(portal.waitForFinished(10'000));
}

} // namespace
