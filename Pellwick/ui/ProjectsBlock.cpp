#include "ui/ProjectsBlock.h"

#include "AppModel.h"
#include "ui/LinkButton.h"
#include "ui/SymbolLabel.h"
#include "ui/SystemStyle.h"
#include "ui/ToneLabel.h"

#include <QBoxLayout>
#include <QLabel>

QString ProjectsBlock::titleText(const std::vector<std::filesystem::path>& roots) {
    if (roots.empty())
        return QStringLiteral("Find dormant projects");
    QStringList names;
    for (const auto& root : roots) {
        const auto name = root.filename();
        names.append(QString::fromStdString(name.empty() ? root.string() : name.string()));
    }
    return QStringLiteral("Projects in ") + names.join(QStringLiteral(", "));
}

QString ProjectsBlock::captionText(bool hasRoots, bool isScanning) {
    if (isScanning)
        return QStringLiteral("Searching…");
    if (hasRoots)
        return QStringLiteral("Only generated folders are listed, never source code.");
    return QStringLiteral("Pick a folder like Developing. Only generated folders in projects "
                          "untouched for ") +
           QString::number(AppModel::dormantDays) +
           QStringLiteral("+ days are listed. Source code is never touched.");
}

ProjectsBlock::ProjectsBlock(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(
        new SymbolLabel(QStringLiteral("archivebox"), 16, SymbolLabel::Tint::secondary, this), 0,
        Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("projectsTitle"));
    title_->setFont(SystemStyle::font(SystemStyle::TextSize::callout, QFont::Medium));
    title_->setWordWrap(true);
    // Folder names are any bytes the user chose: never read as markup.
    title_->setTextFormat(Qt::PlainText);
    caption_ = new ToneLabel(ToneLabel::Tone::secondary, {}, this);
    caption_->setObjectName(QStringLiteral("projectsCaption"));
    caption_->setFont(SystemStyle::font(SystemStyle::TextSize::caption));
    caption_->setWordWrap(true);
    column->addWidget(title_);
    column->addWidget(caption_);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    chooseFolder_ = new LinkButton(QStringLiteral("Choose folder…"), this);
    addFolder_ = new LinkButton(QStringLiteral("Add folder…"), this);
    rescan_ = new LinkButton(QStringLiteral("Rescan"), this);
    stopSearching_ = new LinkButton(QStringLiteral("Stop searching"), this);
    for (auto* button : {chooseFolder_, addFolder_, rescan_, stopSearching_})
        buttons->addWidget(button);
    buttons->addStretch();
    column->addLayout(buttons);
    layout->addLayout(column, 1);

    connect(chooseFolder_, &QPushButton::clicked, this, [this] { model_.addProjectFolders(); });
    connect(addFolder_, &QPushButton::clicked, this, [this] { model_.addProjectFolders(); });
    connect(rescan_, &QPushButton::clicked, this, [this] { model_.scanProjects(); });
    connect(stopSearching_, &QPushButton::clicked, this, [this] {
        model_.setProjectRoots({});
        model_.scanProjects();
    });
    connect(&model_, &AppModel::projectRootsChanged, this, &ProjectsBlock::update);
    connect(&model_, &AppModel::isScanningProjectsChanged, this, &ProjectsBlock::update);
    update();
}

void ProjectsBlock::update() {
    const bool hasRoots = !model_.projectRoots().empty();
    title_->setText(titleText(model_.projectRoots()));
    caption_->setText(captionText(hasRoots, model_.isScanningProjects()));
    chooseFolder_->setVisible(!hasRoots);
    addFolder_->setVisible(hasRoots);
    rescan_->setVisible(hasRoots);
    stopSearching_->setVisible(hasRoots);
}
