#include "PanelTestSupport.h"

#include "platform/ColorSchemeSource.h"
#include "ui/PellwickApp.h"
#include "ui/StatusNotifierItem.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

class NoColorSchemePreference : public ColorSchemeSource {
public:
    [[nodiscard]] ColorScheme colorScheme() const override { return ColorScheme::noPreference; }
};

struct AppFixture : ModelFixture {
    // A connection that was never opened: the tray item stays off any bus.
    QDBusConnection noBus{QStringLiteral("pellwick-test-no-bus")};
    PellwickApp app{environment(), std::make_shared<RecordingOpener>(),
                    std::make_shared<NoColorSchemePreference>(), noBus};
};

// Whole gigabytes, halves up. No free space read yet (0 bytes) shows the product's name and
// is never low; just under the threshold is low. A huge threshold saturates instead of
// overflowing.
TEST(AppTray, TitleAndIconFollowFreeSpaceAndThreshold) {
    const std::tuple<std::int64_t, double, const char*, bool> cases[] = {
        {0, 20, "Pellwick", false},
        {499'999'999, 0, "0 GB", false},
        {500'000'000, 20, "1 GB", true},
        {19'999'999'999, 20, "20 GB", true},
        {20'000'000'000, 20, "20 GB", false},
        {9'223'372'036'854'775'807, 20, "9223372037 GB", false},
        {9'000'000'000'000'000'000, 1e12, "9000000000 GB", true}};
    AppFixture fixture;
    for (const auto& [freeBytes, thresholdGB, title, isLow] : cases) {
        fixture.volume->figures = {freeBytes, std::max<std::int64_t>(freeBytes, 1)};
        fixture.app.model().refreshFreeSpace();
        fixture.app.model().setThresholdGB(thresholdGB);
        const auto& item = fixture.app.statusItem();
        EXPECT_EQ(item.title().toStdString(), title) << freeBytes;
        EXPECT_EQ(item.iconName(), isLow ? "dialog-warning-symbolic" : "drive-harddisk-symbolic")
            << freeBytes << " against " << thresholdGB;
    }
}

} // namespace
