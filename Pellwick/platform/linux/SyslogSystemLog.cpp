#include "platform/linux/SyslogSystemLog.h"

#include <syslog.h>

#include <mutex>

namespace {

// openlog keeps the identifier's pointer, so it must be a string that lives forever.
constexpr const char* identifier = "com.quenlix.pellwick";

void openLogOnce() {
    static std::once_flag opened;
    std::call_once(opened, [] { openlog(identifier, LOG_PID, LOG_USER); });
}

} // namespace

SyslogSystemLog::SyslogSystemLog(QString category) : category_(std::move(category)) {
}

void SyslogSystemLog::info(const QString& message) {
    write(LOG_INFO, message);
}

void SyslogSystemLog::error(const QString& message) {
    write(LOG_ERR, message);
}

void SyslogSystemLog::write(int priority, const QString& message) const {
    openLogOnce();
    syslog(priority, "%s", (category_ + QStringLiteral(": ") + message).toUtf8().constData());
}
