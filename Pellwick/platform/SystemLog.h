#pragma once

#include <QString>

// The system log, for the few lines the program writes about its notifications.
class SystemLog {
public:
    virtual ~SystemLog() = default;

    virtual void info(const QString& message) = 0;
    virtual void error(const QString& message) = 0;
};
