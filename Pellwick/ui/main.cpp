// Pellwick: the home volume's free space in the tray, and the panel that sweeps developer
// caches and dormant projects' generated folders.
#include "DesktopEnvironment.h"
#include "platform/linux/ChildSessions.h"
#include "platform/linux/DesktopAddressOpener.h"
#include "platform/linux/DesktopColorScheme.h"
#include "ui/PellwickApp.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    // Qt would abort with a platform-plugin error that does not say what is missing.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        std::fputs("pellwick: needs a graphical session (neither DISPLAY nor WAYLAND_DISPLAY is "
                   "set); start it from your desktop\n",
                   stderr);
        return 1;
    }
    // Under Wayland a window cannot place itself; XWayland lets the panel sit under the tray.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim())
        return 0;

    auto colorScheme = std::make_shared<DesktopColorScheme>(
        QDBusConnection::sessionBus(),
        DesktopColorScheme::Desktop{
            qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)});
    PellwickApp app(desktopEnvironment(), std::make_shared<DesktopAddressOpener>(),
                    std::move(colorScheme));
    QObject::connect(&instance, &SingleInstance::openPanelRequested, &app, &PellwickApp::openPanel);
    // Quit frees the name first, so a launch meanwhile starts afresh, and ends the login
    // shell's session.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &instance, [&instance] {
        instance.release();
        endChildSessions();
    });
    app.showInTray();
    QTimer::singleShot(0, &app, &PellwickApp::start);
    const int status = QApplication::exec();
    // Nothing is left to save (settings are written as they change), and measurements or a
    // project scan still running need no finishing: the program ends now instead of waiting.
    std::_Exit(status);
}
