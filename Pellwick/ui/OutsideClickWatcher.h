#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

// Reports every mouse button press anywhere on the X11 screen, including on the bare desktop
// background, which takes the focus from no window and so never deactivates the panel. It
// listens to XInput 2 raw button events on the root window, which the X server sends to every
// client that asks, whatever grabs other clients hold. Elsewhere (Wayland) it reports nothing.
class OutsideClickWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit OutsideClickWatcher(QObject* parent = nullptr);
    ~OutsideClickWatcher() override;
    OutsideClickWatcher(const OutsideClickWatcher&) = delete;
    OutsideClickWatcher& operator=(const OutsideClickWatcher&) = delete;

    // The X server accepted the selection; false without X11 or XInput 2.
    [[nodiscard]] bool isListening() const { return inputOpcode_ != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void buttonPressed();

private:
    quint8 inputOpcode_ = 0;
};
