#pragma once

#include "Updater.h"
#include "platform/AddressOpener.h"
#include "support/FakeEnvironment.h"
#include "ui/PellwickView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QStringList>

#include <memory>
#include <string>

class RecordingOpener : public AddressOpener {
public:
    QStringList opened;
    void open(const QString& address) override { opened.append(address); }
};

// A panel over a model whose services are all stand-ins, in a temp home.
struct PanelFixture {
    ModelFixture fixture;
    std::unique_ptr<TestableModel> model;
    Updater updater{QUrl()};
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    std::unique_ptr<PellwickView> panel;

    explicit PanelFixture(std::int64_t freeBytes = 84'234'000'000) {
        fixture.volume->figures = {freeBytes, 500'000'000'000};
        model = std::make_unique<TestableModel>(fixture.environment());
        model->refreshFreeSpace();
        panel = std::make_unique<PellwickView>(*model, updater, opener);
    }

    template <class Widget = QWidget> [[nodiscard]] Widget* find(const char* name) const {
        return panel->findChild<Widget*>(QString::fromLatin1(name));
    }
    [[nodiscard]] QString text(const char* name) const { return find<QLabel>(name)->text(); }
    [[nodiscard]] bool shows(const char* name) const {
        const auto* widget = find(name);
        return widget && widget->isVisibleTo(panel.get());
    }
    // The button with this text, if one is showing.
    [[nodiscard]] QAbstractButton* button(const QString& text) const {
        for (auto* candidate : panel->findChildren<QAbstractButton*>())
            if (candidate->text() == text && candidate->isVisibleTo(panel.get()))
                return candidate;
        return nullptr;
    }
};

inline AppModel::Row makeRow(std::string id, Category category, std::int64_t size,
                             bool isSelected = true) {
    CleanupItem item;
    item.id = id;
    item.title = id;
    item.detail = "Comes back on its own.";
    item.category = category;
    return {item, size, isSelected};
}
