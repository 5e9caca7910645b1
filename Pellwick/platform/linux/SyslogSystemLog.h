#pragma once

#include "platform/SystemLog.h"

// syslog(3), which journald collects, under the identifier "com.quenlix.pellwick"; each line
// starts with its category ("notifications: Posted low-space notification").
class SyslogSystemLog : public SystemLog {
public:
    explicit SyslogSystemLog(QString category = QStringLiteral("notifications"));

    void info(const QString& message) override;
    void error(const QString& message) override;

private:
    void write(int priority, const QString& message) const;

    QString category_;
};
