#pragma once

// Whether the program opens at login. Changing it may fail quietly: the caller reads
// isEnabled() again to learn what really happened.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    [[nodiscard]] virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};
