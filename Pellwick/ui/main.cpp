// Pellwick: the home volume's free space in the tray, and the panel that sweeps developer
// caches and dormant projects' generated folders.
#include "DesktopEnvironment.h"
#include "platform/linux/DesktopAddressOpener.h"
#include "ui/PellwickApp.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
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

    PellwickApp app(desktopEnvironment(), std::make_shared<DesktopAddressOpener>());
    QObject::connect(&instance, &SingleInstance::openPanelRequested, &app, &PellwickApp::openPanel);
    app.showInTray();
    QTimer::singleShot(0, &app, &PellwickApp::start);
    return QApplication::exec();
}
