#include "ui/OnboardingView.h"

#include "support/FakeEnvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString completedKey = QStringLiteral("onboardingCompleted");

struct OnboardingFixture : ModelFixture {
    AppModel model{environment()};
    OnboardingView view{model, settings};

    [[nodiscard]] QPushButton* button(const char* name) const {
        return view.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    [[nodiscard]] QString title(const char* name) const { return button(name)->text(); }
    [[nodiscard]] QCheckBox* openAtLogin() const {
        return view.findChild<QCheckBox*>(QStringLiteral("openAtLogin"));
    }
    [[nodiscard]] QString folderSummary() const {
        return view.findChild<QLabel*>(QStringLiteral("folderSummary"))->text();
    }
    [[nodiscard]] bool completed() const { return settings->boolValue(completedKey) == true; }

    void showActive() {
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    }
};

TEST(OnboardingView, BottomBarFollowsThePage) {
    OnboardingFixture fixture;
    fixture.showActive();
    struct PageCase {
        int page;
        bool backShown;
        const char* primary;
    };
    const PageCase cases[] = {
        {0, false, "Continue"}, {1, true, "Continue"}, {2, true, "Get started"}};
    for (const auto& expected : cases) {
        ASSERT_EQ(fixture.view.page(), expected.page);
        EXPECT_EQ(fixture.button("back")->isVisible(), expected.backShown) << expected.page;
        EXPECT_EQ(fixture.title("primary"), QString::fromLatin1(expected.primary)) << expected.page;
        fixture.button("primary")->click();
    }
    EXPECT_TRUE(fixture.completed());
    EXPECT_FALSE(fixture.view.isVisible());
}

TEST(OnboardingView, BackReturnsToTheEarlierPage) {
    OnboardingFixture fixture;
    fixture.showActive();
    fixture.button("primary")->click();
    fixture.button("primary")->click();
    fixture.button("back")->click();
    EXPECT_EQ(fixture.view.page(), 1);
    fixture.button("back")->click();
    EXPECT_EQ(fixture.view.page(), 0);
    EXPECT_FALSE(fixture.completed());
}

// Return belongs to the primary button even while another control has the focus.
TEST(OnboardingView, ReturnActsAsThePrimaryButtonOnEveryPage) {
    OnboardingFixture fixture;
    fixture.showActive();
    QWidget* const focused[] = {fixture.button("back"), fixture.button("notificationsButton"),
                                fixture.button("folderButton")};
    for (int page = 0; page < OnboardingView::pageCount; ++page) {
        ASSERT_EQ(fixture.view.page(), page);
        EXPECT_FALSE(fixture.completed()) << page;
        focused[page]->setFocus();
        QTest::keyClick(QApplication::focusWidget(), page == 1 ? Qt::Key_Enter : Qt::Key_Return);
    }
    EXPECT_TRUE(fixture.completed());
    EXPECT_FALSE(fixture.view.isVisible());
    EXPECT_EQ(fixture.button("notificationsButton")->text(), "Turn on notifications");
}

TEST(OnboardingView, ClosingEarlyRecordsTheOnboardingAsCompleted) {
    OnboardingFixture fixture;
    fixture.showActive();
    EXPECT_FALSE(fixture.completed());
    fixture.view.close();
    EXPECT_TRUE(fixture.completed());
}

TEST(OnboardingView, HidingRecordsTheOnboardingAsCompleted) {
    OnboardingFixture fixture;
    fixture.view.show();
    fixture.view.hide();
    EXPECT_TRUE(fixture.completed());
}

TEST(OnboardingView, OpeningAgainStartsOnTheFirstPage) {
    OnboardingFixture fixture;
    fixture.showActive();
    fixture.button("primary")->click();
    fixture.button("notificationsButton")->click();
    fixture.view.close();
    fixture.showActive();
    EXPECT_EQ(fixture.view.page(), 0);
    EXPECT_EQ(fixture.title("notificationsButton"), "Turn on notifications");
    EXPECT_TRUE(fixture.button("notificationsButton")->isEnabled());
}

TEST(OnboardingView, NotificationsButtonShowsTheAnswer) {
    struct AnswerCase {
        int status;
        bool denied;
        const char* title;
    };
    const AnswerCase cases[] = {
        {2, false, "Notifications are on"},
        {1, true, "Not available on this desktop"},
        {0, false, "Notifications are on"}, // never asked: the request grants it
    };
    for (const auto& answer : cases) {
        OnboardingFixture fixture;
        fixture.center->status = answer.status;
        auto* notifications = fixture.button("notificationsButton");
        EXPECT_EQ(notifications->text(), "Turn on notifications") << answer.status;
        notifications->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications->isEnabled(); }, 10'000))
            << answer.status;
        EXPECT_EQ(notifications->text(), QString::fromUtf8(answer.title)) << answer.status;
        EXPECT_EQ(fixture.model.notificationsDenied(), answer.denied) << answer.status;
    }
}

TEST(OnboardingView, NotificationsButtonFollowsTheModelAfterTheAnswer) {
    OnboardingFixture fixture;
    auto* notifications = fixture.button("notificationsButton");
    notifications->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications->isEnabled(); }, 10'000));
    fixture.model.setNotificationsDenied(true);
    EXPECT_EQ(notifications->text(), "Not available on this desktop");
}

TEST(OnboardingView, FolderButtonAndLabelFollowTheChosenRoots) {
    OnboardingFixture fixture;
    EXPECT_EQ(fixture.title("folderButton"), "Choose folder…");
    EXPECT_EQ(fixture.folderSummary(), "Everything stays on your computer.");

    (void)fixture.home.folder("Code");
    (void)fixture.home.folder("Work");
    fixture.chooser->answer = QStringList{QString::fromStdString((fixture.home / "Code").string()),
                                          QString::fromStdString((fixture.home / "Work").string())};
    fixture.button("folderButton")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return fixture.model.projectRoots().size() == 2 && !fixture.model.isScanningProjects();
        },
        10'000));
    EXPECT_EQ(fixture.title("folderButton"), "Add another folder…");
    EXPECT_EQ(fixture.folderSummary(), "Code, Work");
    // Folder names are any bytes: "<i>Work" must not turn the list italic.
    EXPECT_EQ(fixture.view.findChild<QLabel*>(QStringLiteral("folderSummary"))->textFormat(),
              Qt::PlainText);
}

TEST(OnboardingView, OpenAtLoginBoxFollowsTheModel) {
    OnboardingFixture fixture;
    QCheckBox* box = fixture.openAtLogin();
    EXPECT_FALSE(box->isChecked());

    box->click();
    EXPECT_TRUE(fixture.loginItem->enabled);
    EXPECT_TRUE(box->isChecked());

    fixture.model.setLaunchAtLogin(false);
    EXPECT_FALSE(box->isChecked());

    fixture.loginItem->refuses = true; // the desktop keeps the item off
    box->click();
    EXPECT_FALSE(fixture.model.launchAtLogin());
    EXPECT_FALSE(box->isChecked());
}

} // namespace
