#pragma once

#include "platform/FolderChooser.h"

// Qt's own (non-native) folder dialog, switched to choose several folders at once. It is not
// modal: the rest of the program keeps running while it is open.
class DialogFolderChooser : public FolderChooser {
public:
    [[nodiscard]] QCoro::Task<std::optional<QStringList>>
    chooseFolders(std::optional<QString> startFolder) override;
};
