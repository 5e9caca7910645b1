#pragma once

#include "platform/LoginItem.h"

#include <QString>

// The XDG autostart entry $XDG_CONFIG_HOME/autostart/pellwick.desktop. It is on while the file
// exists and neither hides itself (Hidden=true) nor is switched off for GNOME
// (X-GNOME-Autostart-enabled=false), as a user's own edited copy may do.
class AutostartLoginItem : public LoginItem {
public:
    // The entry's path for the current environment (XDG_CONFIG_HOME, else ~/.config).
    [[nodiscard]] static QString defaultEntryPath();

    // `executable` is what the entry starts: by default the running program's absolute path.
    explicit AutostartLoginItem(QString entryPath = defaultEntryPath(), QString executable = {});

    [[nodiscard]] bool isEnabled() const override;
    void setEnabled(bool enabled) override;

    // The desktop entry written for `executable`, with the path quoted for the Exec key.
    [[nodiscard]] static QByteArray desktopEntry(const QString& executable);

private:
    QString entryPath_;
    QString executable_;
};
