#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <optional>

// Lets the user choose one or more folders (never files) that hold projects.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;

    // Opens at `startFolder` (or the chooser's own default when none) and answers the chosen
    // folders' absolute paths in the chooser's order, or none when the user cancelled.
    [[nodiscard]] virtual QCoro::Task<std::optional<QStringList>>
    chooseFolders(std::optional<QString> startFolder) = 0;
};
