#include "ui/CleanupList.h"

#include "ui/ListCard.h"
#include "ui/ListScrollArea.h"
#include "ui/MoreBelowHint.h"
#include "ui/Spinner.h"
#include "ui/SweepRow.h"
#include "ui/SymbolLabel.h"
#include "ui/SystemStyle.h"
#include "ui/ToneLabel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr double sectionHeadingHeight = 32;
constexpr double rowHeight = 58;
// The list counts as at its end within this distance, so a rounding pixel keeps no hint.
constexpr int bottomSlack = 4;

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    return new ToneLabel(ToneLabel::Tone::secondary, text, parent);
}

bool hasCustomLocation(const CustomLocations& locations, const std::string& id) {
    const auto found = locations.find(id);
    return found != locations.end() && !found->second.empty();
}

} // namespace

std::vector<CleanupList::Section> CleanupList::sections(const std::vector<AppModel::Row>& rows) {
    std::vector<Section> result;
    for (const Category category : allCategories) {
        Section section{category, {}};
        for (const auto& row : rows)
            if (row.item.category == category && row.size > 0)
                section.rows.push_back(row);
        std::stable_sort(section.rows.begin(), section.rows.end(),
                         [](const auto& a, const auto& b) { return a.size > b.size; });
        if (!section.rows.empty())
            result.push_back(std::move(section));
    }
    return result;
}

double CleanupList::estimatedListHeight(const std::vector<Section>& sections) {
    double height = 0;
    for (const auto& section : sections)
        height += sectionHeadingHeight + rowHeight * double(section.rows.size());
    return height;
}

CleanupList::CleanupList(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(10);

    auto* heading = secondaryLabel(QStringLiteral("Safe to sweep"), this);
    heading->setObjectName(QStringLiteral("listHeading"));
    heading->setFont(SystemStyle::font(SystemStyle::TextSize::callout, QFont::DemiBold));
    layout_->addWidget(heading);

    lookingAround_ = new QWidget(this);
    lookingAround_->setObjectName(QStringLiteral("lookingAround"));
    auto* lookingLayout = new QHBoxLayout(lookingAround_);
    lookingLayout->setContentsMargins(0, 0, 0, 0);
    lookingLayout->setSpacing(8);
    lookingLayout->addStretch();
    lookingLayout->addWidget(new Spinner(lookingAround_));
    lookingLayout->addWidget(secondaryLabel(QStringLiteral("Looking around…"), lookingAround_));
    lookingLayout->addStretch();
    layout_->addWidget(lookingAround_);

    tidy_ = new QWidget(this);
    tidy_->setObjectName(QStringLiteral("tidy"));
    auto* tidyLayout = new QHBoxLayout(tidy_);
    tidyLayout->setContentsMargins(0, 0, 0, 0);
    tidyLayout->setSpacing(6);
    tidyLayout->addWidget(
        new SymbolLabel(QStringLiteral("sparkles"), 14, SymbolLabel::Tint::secondary, tidy_));
    tidyLayout->addWidget(
        secondaryLabel(QStringLiteral("Nothing to sweep. You're all tidy!"), tidy_));
    tidyLayout->addStretch();
    layout_->addWidget(tidy_);

    // A row reached with the keyboard scrolls into view, whichever key brought the focus.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (scrollArea_ && now && scrollArea_->widget() && scrollArea_->widget()->isAncestorOf(now))
            scrollArea_->ensureWidgetVisible(now, 0, 0);
    });
    for (const auto signal :
         {&AppModel::rowsChanged, &AppModel::runningAppsChanged, &AppModel::runningProcessesChanged,
          &AppModel::customLocationsChanged})
        connect(&model_, signal, this, &CleanupList::update);
    update();
}

void CleanupList::update() {
    const auto& rows = model_.rows();
    const auto grouped = sections(rows);
    lookingAround_->setVisible(rows.empty());
    tidy_->setVisible(!rows.empty() && grouped.empty());

    Shape shape;
    shape.scrolls = estimatedListHeight(grouped) > maximumListHeight;
    for (const auto& section : grouped) {
        std::vector<std::string> ids;
        for (const auto& row : section.rows)
            ids.push_back(row.item.id);
        shape.sections.emplace_back(section.category, std::move(ids));
    }
    if (!card_ || shape != shape_)
        rebuildCard(grouped, shape);
    else
        refreshRows(grouped);
    card_->setVisible(!grouped.empty());
}

void CleanupList::rebuildCard(const std::vector<Section>& sections, const Shape& shape) {
    delete card_;
    rowWidgets_.clear();
    scrollArea_ = nullptr;
    hint_ = nullptr;
    shape_ = shape;
    listAtBottom_ = false;

    card_ = new ListCard(this);
    card_->setObjectName(QStringLiteral("listCard"));
    auto* cardLayout = new QVBoxLayout(card_);
    cardLayout->setContentsMargins(0, 0, 0, 0);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("listContent"));
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(10, 10, 10, 10);
    contentLayout->setSpacing(14);
    for (const auto& section : sections)
        contentLayout->addWidget(sectionView(section, content));
    contentLayout->addStretch();

    if (shape.scrolls) {
        scrollArea_ = new ListScrollArea(MoreBelowHint::stripHeight, card_);
        // The rows inside take the focus, not the area around them.
        scrollArea_->setFocusPolicy(Qt::NoFocus);
        scrollArea_->setObjectName(QStringLiteral("listScrollArea"));
        scrollArea_->setFrameShape(QFrame::NoFrame);
        scrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scrollArea_->setWidgetResizable(true);
        scrollArea_->setFixedHeight(int(maximumListHeight));
        scrollArea_->viewport()->setAutoFillBackground(false);
        content->setAutoFillBackground(false);
        scrollArea_->setWidget(content);
        cardLayout->addWidget(scrollArea_);

        hint_ = new MoreBelowHint(card_);
        hint_->raise();
        card_->installEventFilter(this);
        auto* bar = scrollArea_->verticalScrollBar();
        connect(bar, &QScrollBar::valueChanged, this, &CleanupList::updateListAtBottom);
        connect(bar, &QScrollBar::rangeChanged, this, &CleanupList::updateListAtBottom);
        placeHint();
    } else {
        content->setParent(card_);
        cardLayout->addWidget(content);
    }
    layout_->addWidget(card_);
}

QWidget* CleanupList::sectionView(const Section& section, QWidget* parent) {
    auto* view = new QWidget(parent);
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* heading = new ToneLabel(
        ToneLabel::Tone::tertiary,
        QString::fromUtf8(title(section.category).data(), qsizetype(title(section.category).size()))
            .toUpper(),
        view);
    heading->setObjectName(QStringLiteral("sectionHeading"));
    heading->setFont(SystemStyle::font(SystemStyle::TextSize::caption2, QFont::DemiBold));
    layout->addWidget(heading);
    for (const auto& row : section.rows) {
        auto* widget = new SweepRow(row, model_.blockMessage(row),
                                    hasCustomLocation(model_.customLocations(), row.item.id), view);
        connect(widget, &SweepRow::toggled, this, [this, id = row.item.id] { model_.toggle(id); });
        rowWidgets_[row.item.id] = widget;
        layout->addWidget(widget);
    }
    return view;
}

void CleanupList::refreshRows(const std::vector<Section>& sections) {
    for (const auto& section : sections)
        for (const auto& row : section.rows)
            rowWidgets_.at(row.item.id)
                ->setContents(row, model_.blockMessage(row),
                              hasCustomLocation(model_.customLocations(), row.item.id));
}

void CleanupList::updateListAtBottom() {
    if (!scrollArea_)
        return;
    const auto* bar = scrollArea_->verticalScrollBar();
    // Offset + visible height ≥ content height − slack, in the scroll bar's terms.
    listAtBottom_ = bar->value() >= bar->maximum() - bottomSlack;
    hint_->setAtBottom(listAtBottom_);
}

void CleanupList::placeHint() {
    if (!hint_ || !card_)
        return;
    hint_->move((card_->width() - hint_->width()) / 2,
                card_->height() - hint_->height() - MoreBelowHint::liftAboveBottom);
}

bool CleanupList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == card_ && event->type() == QEvent::Resize)
        placeHint();
    return QWidget::eventFilter(watched, event);
}
