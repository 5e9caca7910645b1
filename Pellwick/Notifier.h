#pragma once

#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"

#include <QCoro/QCoroTask>

#include <cstdint>
#include <memory>

// The program's only contact with the notification service: permission, its status, and the
// one notification there is, the low-space alert. Only the notifier logs.
namespace Notifier {

// Where notifications go and where their outcome is logged; shared so that a call that is
// still under way keeps both alive.
struct Context {
    std::shared_ptr<NotificationCenter> center;
    std::shared_ptr<SystemLog> log;
};

// Asks for permission only while the status is "not determined" (0), logs, and answers the
// status afterwards.
[[nodiscard]] QCoro::Task<int> requestAuthorization(Context context);

// The current status; never asks and never logs.
[[nodiscard]] QCoro::Task<int> authorizationStatus(Context context);

// Posts the low-space alert and returns at once; the outcome is only logged.
void postLowSpace(Context context, std::int64_t freeBytes, std::int64_t sweepableBytes);

// The alert's body: "Only 4.2 GB left." or "Only 4.2 GB left. I found 11 GB that's safe to sweep."
[[nodiscard]] QString lowSpaceBody(std::int64_t freeBytes, std::int64_t sweepableBytes);

} // namespace Notifier
