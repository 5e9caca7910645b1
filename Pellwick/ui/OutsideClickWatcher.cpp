#include "ui/OutsideClickWatcher.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

bool selectRawButtonPresses(xcb_connection_t* connection) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return false;
    struct {
        xcb_input_event_mask_t header;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    const auto cookie =
        xcb_input_xi_select_events_checked(connection, screen->root, 1, &selection.header);
    const std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(
        xcb_request_check(connection, cookie));
    return !error;
}

} // namespace

OutsideClickWatcher::OutsideClickWatcher(QObject* parent) : QObject(parent) {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
    // Qt's xcb plugin has already negotiated XInput 2.2 on this connection; a server without
    // raw events refuses the selection.
    if (!input || !input->present || !selectRawButtonPresses(connection))
        return;
    inputOpcode_ = input->major_opcode;
    qGuiApp->installNativeEventFilter(this);
}

OutsideClickWatcher::~OutsideClickWatcher() {
    if (isListening() && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

bool OutsideClickWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
        return false;
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (generic->extension != inputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
        return false;
    emit buttonPressed();
    return true;
}
