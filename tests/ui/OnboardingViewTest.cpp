#include "ui/OnboardingView.h"

#include "support/FakeEnvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct OnboardingFixture : ModelFixture {
    AppModel model{environment()};
    OnboardingView view{model, settings};

    [[nodiscard]] QPushButton* button(const char* name) const {
        return view.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    [[nodiscard]] bool completed() const {
        return settings->boolValue(QStringLiteral("onboardingCompleted")) == true;
    }
    void showActive() {
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    }
    // Asks the desktop and waits for its answer to show.
    void answerNotifications() {
        auto* notifications = button("notificationsButton");
        notifications->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications->isEnabled(); }, 10'000));
    }
};

// The bottom bar follows the page. Return belongs to the primary button even while another
// control has the focus; on the last page it completes the onboarding and closes the window.
// On the way: a desktop without notifications, two folders (names are any bytes: "<i>Work"
// must not turn the list italic) and open at login, each following the model.
TEST(OnboardingView, WalksThePagesAnswersAndCompletesOnReturn) {
    OnboardingFixture fixture;
    fixture.center->status = 1;
    fixture.chooser->answer =
        QStringList{QString::fromStdString(fixture.home.folder("Code").string()),
                    QString::fromStdString(fixture.home.folder("<i>Work").string())};
    fixture.showActive();
    const std::tuple<bool, const char*, const char*> pages[] = {
        {false, "Continue", "back"},
        {true, "Continue", "notificationsButton"},
        {true, "Get started", "folderButton"}};
    for (int page = 0; page < OnboardingView::pageCount; ++page) {
        const auto& [backShown, primary, focused] = pages[page];
        ASSERT_EQ(fixture.view.page(), page);
        EXPECT_EQ(fixture.button("back")->isVisible(), backShown) << page;
        EXPECT_EQ(fixture.button("primary")->text(), QString::fromUtf8(primary)) << page;
        EXPECT_FALSE(fixture.completed()) << page;
        if (page == 1) {
            fixture.answerNotifications();
            EXPECT_EQ(fixture.button(focused)->text(), "Not available on this desktop");
            EXPECT_TRUE(fixture.model.notificationsDenied());
        }
        if (page == 2) {
            EXPECT_EQ(fixture.button(focused)->text(), "Choose folder…");
            fixture.button(focused)->click();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return fixture.model.projectRoots().size() == 2 &&
                           !fixture.model.isScanningProjects();
                },
                10'000));
            EXPECT_EQ(fixture.button(focused)->text(), "Add another folder…");
            const auto* summary = fixture.view.findChild<QLabel*>(QStringLiteral("folderSummary"));
            EXPECT_EQ(summary->text(), "Code, <i>Work");
            EXPECT_EQ(summary->textFormat(), Qt::PlainText);
            auto* box = fixture.view.findChild<QCheckBox*>(QStringLiteral("openAtLogin"));
            box->click();
            EXPECT_TRUE(fixture.loginItem->enabled);
            EXPECT_TRUE(box->isChecked());
            fixture.model.setLaunchAtLogin(false);
            EXPECT_FALSE(box->isChecked());
        }
        fixture.button(focused)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), page == 1 ? Qt::Key_Enter : Qt::Key_Return);
    }
    EXPECT_TRUE(fixture.completed());
    EXPECT_FALSE(fixture.view.isVisible());
}

// Leaving early, by closing or hiding, completes the onboarding too; opening again starts
// afresh on the first page, with the notifications question unanswered. The answer shows,
// and after it follows the model.
TEST(OnboardingView, BackCloseAndOpeningAgain) {
    for (const bool closes : {true, false}) {
        OnboardingFixture fixture;
        fixture.center->status = 2;
        fixture.showActive();
        fixture.button("primary")->click();
        fixture.button("primary")->click();
        fixture.button("back")->click();
        EXPECT_EQ(fixture.view.page(), 1);
        fixture.answerNotifications();
        EXPECT_EQ(fixture.button("notificationsButton")->text(), "Notifications are on");
        EXPECT_FALSE(fixture.model.notificationsDenied());
        fixture.model.setNotificationsDenied(true);
        EXPECT_EQ(fixture.button("notificationsButton")->text(), "Not available on this desktop");
        EXPECT_FALSE(fixture.completed());
        if (closes)
            fixture.view.close();
        else
            fixture.view.hide();
        EXPECT_TRUE(fixture.completed()) << closes;
        fixture.showActive();
        EXPECT_EQ(fixture.view.page(), 0);
        EXPECT_TRUE(fixture.button("notificationsButton")->isEnabled());
    }
}

} // namespace
