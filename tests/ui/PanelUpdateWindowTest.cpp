#include "PanelTestSupport.h"

#include "ui/UpdateWindow.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// The feed's texts show as typed, never read as markup.
TEST(PanelUpdateWindow, ShowsEachOutcomeAndOpensTheDownload) {
    Updater updater{QUrl()};
    auto opener = std::make_shared<RecordingOpener>();
    UpdateWindow window(updater, opener);
    // Without a feed no check can start; the window still answers instead of hanging.
    window.check();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isChecking(); }, 5000));
    EXPECT_NE(window.headline(), "Checking…");

    window.showOutcome(Updater::UpToDate{});
    EXPECT_TRUE(window.detail().contains(PELLWICK_VERSION));
    window.showOutcome(Updater::Error{"<b>The feed could not be read."});
    EXPECT_EQ(window.detail(), "<b>The feed could not be read.");
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("updateDetail"))->textFormat(),
              Qt::PlainText);

    window.showOutcome(Updater::NewVersion{"9.0", "https://example.org/notes",
                                           "https://example.org/pellwick-9.0.deb"});
    EXPECT_EQ(window.headline(), "Pellwick 9.0 is available.");
    for (auto* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window) &&
            (button->text() == "Download" || button->text() == "Release Notes"))
            button->click();
    EXPECT_EQ(opener->opened.size(), 2);
    EXPECT_TRUE(opener->opened.contains("https://example.org/pellwick-9.0.deb"));
}

} // namespace
