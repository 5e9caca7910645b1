#include "ui/OnboardingView.h"

#include "ui/Icons.h"
#include "ui/PageDots.h"
#include "ui/ProminentButton.h"
#include "ui/SystemStyle.h"
#include "ui/ToneLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int deniedStatus = 1;
const QString completedKey = QStringLiteral("onboardingCompleted");
const QString continueTitle = QStringLiteral("Continue");
const QString lastPageTitle = QStringLiteral("Get started");

// The design's title (22) and title-2 (17) sizes, on its 13-point body grid.
QFont titleFont() {
    return SystemStyle::fontOfDesignSize(22, QFont::DemiBold);
}

QFont title2Font() {
    return SystemStyle::fontOfDesignSize(17, QFont::DemiBold);
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel* centredText(const QString& text, const QFont& font) {
    auto* label = new QLabel(text);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

// The page's own content, centred in the area above the bottom bar.
QWidget* pageArea(QVBoxLayout* content) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(40, 32, 40, 0);
    layout->addStretch();
    layout->addLayout(content);
    layout->addStretch();
    return page;
}

template <class Button = QPushButton> QPushButton* plainButton(const QString& title) {
    auto* button = new Button(title);
    // Return belongs to the primary button wherever the focus is.
    button->setAutoDefault(false);
    return button;
}

// Wide enough for each of its titles, so the button keeps its place when the title changes.
void fitToTitles(QPushButton* button, const QStringList& titles) {
    const QString shown = button->text();
    int width = 0;
    for (const QString& title : titles) {
        button->setText(title);
        width = std::max(width, button->sizeHint().width());
    }
    button->setText(shown);
    button->setMinimumWidth(width);
}

void makeLarge(QPushButton* button) {
    button->setMinimumHeight(32);
    button->setMinimumWidth(200);
}

QString notificationsButtonTitle(bool asked, bool denied) {
    if (!asked)
        return QStringLiteral("Turn on notifications");
    return denied ? QStringLiteral("Not available on this desktop")
                  : QStringLiteral("Notifications are on");
}

constexpr int maximumCentringMoves = 4;

// Where a window's frame goes to be centred in `available`.
QPoint centredPosition(QSize frame, const QRect& available) {
    return available.center() + QPoint(1, 1) - QPoint(frame.width() / 2, frame.height() / 2);
}

// The last component of every root, in order, joined with ", ".
QString folderNames(const std::vector<std::filesystem::path>& roots) {
    QStringList names;
    for (const auto& root : roots) {
        const auto name = root.filename();
        names.append(QString::fromStdString(name.empty() ? root.string() : name.string()));
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

OnboardingView::OnboardingView(AppModel& model, std::shared_ptr<SettingsStore> settings,
                               QWidget* parent)
    : QWidget(parent), model_(model), settings_(std::move(settings)) {
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Welcome to Pellwick"));
    setWindowIcon(Icons::applicationIcon());
    setFixedSize(520, 430);
    setAutoFillBackground(true);

    pages_ = new QStackedWidget;
    pages_->addWidget(welcomePage());
    pages_->addWidget(notificationsPage());
    pages_->addWidget(projectsPage());

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pages_, 1);
    layout->addWidget(divider);
    layout->addWidget(bottomBar());

    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, &OnboardingView::goForward);
    }

    connect(&model_, &AppModel::notificationsDeniedChanged, this,
            &OnboardingView::updateNotificationsButton);
    connect(&model_, &AppModel::launchAtLoginChanged, this, &OnboardingView::updateLoginCheckBox);
    connect(&model_, &AppModel::projectRootsChanged, this, &OnboardingView::updateFolderViews);

    applyPalette();
    updateNotificationsButton();
    updateLoginCheckBox();
    showPage(0);
}

int OnboardingView::page() const {
    return pages_->currentIndex();
}

QLabel* OnboardingView::symbolLabel(const QString& symbol, int size) {
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    accentSymbols_.push_back({label, symbol, size});
    return label;
}

QLabel* OnboardingView::secondaryText(const QString& text) {
    auto* label = centredText(text, SystemStyle::font(SystemStyle::TextSize::body));
    secondaryTexts_.push_back(label);
    return label;
}

QWidget* OnboardingView::welcomePage() {
    auto* content = new QVBoxLayout;
    content->setSpacing(18);

    auto* icon = new QLabel;
    icon->setPixmap(Icons::applicationIcon().pixmap(QSize(88, 88), devicePixelRatioF()));
    icon->setFixedSize(88, 88);
    content->addWidget(icon, 0, Qt::AlignHCenter);
    content->addWidget(centredText(QStringLiteral("Welcome to Pellwick"), titleFont()));
    content->addWidget(
        secondaryText(QStringLiteral("Your computer's free space, one glance away.")));

    const std::pair<const char*, const char*> features[] = {
        {"internaldrive", "Shows your free space in the tray, live."},
        {"sparkles", "Finds developer files that are safe to delete: build caches, package "
                     "caches, test browsers."},
        {"checkmark.shield", "Deletes only what you select and confirm, nothing else."},
    };
    auto* list = new QVBoxLayout;
    list->setSpacing(12);
    list->setContentsMargins(0, 4, 0, 0);
    const QFont symbolFont = SystemStyle::font(SystemStyle::TextSize::title3);
    const int symbolSize = QFontMetrics(symbolFont).height();
    for (const auto& [symbol, text] : features) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        auto* mark = symbolLabel(QString::fromLatin1(symbol), symbolSize);
        mark->setFixedWidth(28);
        row->addWidget(mark, 0, Qt::AlignTop);
        auto* label = new QLabel(QString::fromUtf8(text));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        row->addWidget(label, 1, Qt::AlignTop);
        list->addLayout(row);
    }
    content->addLayout(list);
    return pageArea(content);
}

QWidget* OnboardingView::notificationsPage() {
    auto* content = new QVBoxLayout;
    content->setSpacing(16);
    auto* symbol = symbolLabel(QStringLiteral("bell.badge"), 44);
    symbol->setFixedHeight(60);
    symbol->setAlignment(Qt::AlignCenter);
    content->addWidget(symbol);
    content->addWidget(centredText(QStringLiteral("Get a nudge before you run out"), title2Font()));
    content->addWidget(
        secondaryText(QStringLiteral("Pellwick can tell you when free space drops below a limit "
                                     "you choose. Notifications stay on your computer.")));

    notificationsButton_ = plainButton<ProminentButton>(QString());
    notificationsButton_->setObjectName(QStringLiteral("notificationsButton"));
    makeLarge(notificationsButton_);
    connect(notificationsButton_, &QPushButton::clicked, this,
            &OnboardingView::askForNotifications);
    openAtLogin_ = new QCheckBox(QStringLiteral("Open Pellwick when I log in"));
    openAtLogin_->setObjectName(QStringLiteral("openAtLogin"));
    connect(openAtLogin_, &QCheckBox::clicked, this, [this](bool checked) {
        model_.setLaunchAtLogin(checked);
        // A refused change sends no signal: show the model's value again.
        updateLoginCheckBox();
    });

    auto* controls = new QVBoxLayout;
    // The box sits a little further from the button than the page's elements from each other.
    controls->setSpacing(content->spacing() + 4);
    controls->addWidget(notificationsButton_, 0, Qt::AlignHCenter);
    controls->addWidget(openAtLogin_, 0, Qt::AlignHCenter);
    content->addLayout(controls);
    return pageArea(content);
}

QWidget* OnboardingView::projectsPage() {
    auto* content = new QVBoxLayout;
    content->setSpacing(16);
    auto* symbol = symbolLabel(QStringLiteral("archivebox"), 44);
    symbol->setFixedHeight(60);
    symbol->setAlignment(Qt::AlignCenter);
    content->addWidget(symbol);
    content->addWidget(centredText(QStringLiteral("Find forgotten projects"), title2Font()));
    content->addWidget(secondaryText(
        QStringLiteral("Optional. Choose the folder where you keep your projects, such as "
                       "Developing. Pellwick lists generated folders like node_modules in "
                       "projects you haven't touched for %1+ days. Your source code is never "
                       "touched.")
            .arg(AppModel::dormantDays)));

    folderButton_ = plainButton(QString());
    folderButton_->setObjectName(QStringLiteral("folderButton"));
    makeLarge(folderButton_);
    connect(folderButton_, &QPushButton::clicked, this, [model = QPointer<AppModel>(&model_)] {
        if (model)
            model->addProjectFolders();
    });
    content->addWidget(folderButton_, 0, Qt::AlignHCenter);

    folderMark_ = new QLabel;
    folderSummary_ = new ToneLabel(ToneLabel::Tone::tertiary);
    folderSummary_->setObjectName(QStringLiteral("folderSummary"));
    // Folder names are any bytes the user chose: never read as markup.
    folderSummary_->setTextFormat(Qt::PlainText);
    auto* summary = new QHBoxLayout;
    summary->setSpacing(6);
    summary->addStretch();
    summary->addWidget(folderMark_, 0, Qt::AlignTop);
    summary->addWidget(folderSummary_);
    summary->addStretch();
    content->addLayout(summary);
    return pageArea(content);
}

QWidget* OnboardingView::bottomBar() {
    auto* bar = new QWidget;
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(16, 16, 16, 16);
    dots_ = new PageDots(pageCount);
    layout->addWidget(dots_, 0, Qt::AlignVCenter);
    layout->addStretch();
    back_ = plainButton(QStringLiteral("Back"));
    back_->setObjectName(QStringLiteral("back"));
    connect(back_, &QPushButton::clicked, this, &OnboardingView::goBack);
    layout->addWidget(back_);
    primary_ = plainButton<ProminentButton>(QString());
    primary_->setObjectName(QStringLiteral("primary"));
    primary_->setDefault(true);
    connect(primary_, &QPushButton::clicked, this, &OnboardingView::goForward);
    layout->addWidget(primary_);
    return bar;
}

void OnboardingView::showPage(int page) {
    pages_->setCurrentIndex(page);
    dots_->setCurrent(page);
    back_->setVisible(page > 0);
    primary_->setText(page == pageCount - 1 ? lastPageTitle : continueTitle);
}

void OnboardingView::goBack() {
    if (page() > 0)
        showPage(page() - 1);
}

void OnboardingView::goForward() {
    if (page() < pageCount - 1) {
        showPage(page() + 1);
        return;
    }
    markCompleted();
    close();
}

void OnboardingView::showCentred() {
    centringMoves_ = maximumCentringMoves;
    moveToCentre();
    show();
    raise();
    activateWindow();
}

// Moves by what the frame is off, rather than to a computed position: window managers differ
// in whether a requested position means the frame's or the window's own corner, and a shift
// comes out the same in both.
void OnboardingView::moveToCentre() {
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen || centringMoves_ <= 0)
        return;
    const QRect frame = frameGeometry();
    const QPoint offBy =
        centredPosition(frame.size(), screen->availableGeometry()) - frame.topLeft();
    if (offBy.manhattanLength() <= 1) {
        centringMoves_ = 0;
        return;
    }
    --centringMoves_;
    move(pos() + offBy);
}

// Window managers place a new window by their own rules (GNOME cascades it, Xfce puts it in
// a corner) and some ignore the position asked for before mapping. Once the window is on the
// screen with its frame, and after each move the window manager made, it moves again until
// it stands at the centre.
bool OnboardingView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if ((event->type() == QEvent::Expose || event->type() == QEvent::Move) && centringMoves_ > 0 &&
        isVisible())
        QTimer::singleShot(0, this, &OnboardingView::moveToCentre);
    return handled;
}

void OnboardingView::markCompleted() {
    if (settings_->boolValue(completedKey) != true)
        settings_->setBool(completedKey, true);
}

void OnboardingView::showEvent(QShowEvent* event) {
    // Opened again (not merely restored from a minimised state): a fresh start.
    if (!event->spontaneous()) {
        notificationsAsked_ = false;
        updateNotificationsButton();
        showPage(0);
    }
    QWidget::showEvent(event);
}

void OnboardingView::hideEvent(QHideEvent* event) {
    if (!event->spontaneous())
        markCompleted();
    QWidget::hideEvent(event);
}

void OnboardingView::closeEvent(QCloseEvent* event) {
    markCompleted();
    QWidget::closeEvent(event);
}

void OnboardingView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
    QWidget::changeEvent(event);
}

void OnboardingView::askForNotifications() {
    requestNotifications(QPointer<OnboardingView>(this), model_.notifications());
}

QCoro::Task<> OnboardingView::requestNotifications(QPointer<OnboardingView> view,
                                                   Notifier::Context context) {
    const int status = co_await Notifier::requestAuthorization(std::move(context));
    if (view)
        view->notificationsAnswered(status);
}

void OnboardingView::notificationsAnswered(int status) {
    model_.setNotificationsDenied(status == deniedStatus);
    notificationsAsked_ = true;
    updateNotificationsButton();
}

void OnboardingView::updateNotificationsButton() {
    notificationsButton_->setText(
        notificationsButtonTitle(notificationsAsked_, model_.notificationsDenied()));
    notificationsButton_->setEnabled(!notificationsAsked_);
}

void OnboardingView::updateLoginCheckBox() {
    openAtLogin_->setChecked(model_.launchAtLogin());
}

void OnboardingView::updateFolderViews() {
    const auto& roots = model_.projectRoots();
    folderButton_->setText(roots.empty() ? QStringLiteral("Choose folder…")
                                         : QStringLiteral("Add another folder…"));
    folderMark_->setVisible(!roots.empty());
    if (roots.empty()) {
        folderSummary_->setText(QStringLiteral("Everything stays on your computer."));
        folderSummary_->setFont(SystemStyle::font(SystemStyle::TextSize::caption));
        folderSummary_->setTone(ToneLabel::Tone::tertiary);
    } else {
        folderSummary_->setText(folderNames(roots));
        folderSummary_->setFont(SystemStyle::font(SystemStyle::TextSize::callout));
        folderSummary_->setTone(ToneLabel::Tone::green);
    }
}

void OnboardingView::applyPalette() {
    const QPalette& colors = palette();
    for (const auto& symbol : accentSymbols_) {
        symbol.label->setPixmap(Icons::pixmap(symbol.name, SystemStyle::accent(colors), symbol.size,
                                              devicePixelRatioF()));
    }
    for (auto* label : secondaryTexts_)
        setTextColor(label, SystemStyle::secondary(colors));
    const int markSize = QFontMetrics(SystemStyle::font(SystemStyle::TextSize::callout)).height();
    folderMark_->setPixmap(Icons::pixmap(QStringLiteral("checkmark.circle.fill"),
                                         SystemStyle::green(colors), markSize,
                                         devicePixelRatioF()));
    fitToTitles(primary_, {continueTitle, lastPageTitle});
    updateFolderViews();
}
