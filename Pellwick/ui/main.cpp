// Until the tray item exists, Pellwick measures the catalog for the user's home folder once
// and prints it.
#include "AppModel.h"
#include "DesktopEnvironment.h"
#include "core/ByteCountFormat.h"

#include <QCoreApplication>
#include <QTimer>

#include <iostream>

namespace {

QCoro::Task<> measureAndPrint(AppModel& model) {
    model.refreshFreeSpace();
    co_await model.scan();
    std::cout << "Free: " << formatByteCount(model.freeBytes()) << " of "
              << formatByteCount(model.totalBytes()) << '\n';
    for (const auto& row : model.rows())
        std::cout << row.item.id << '\t' << row.size << '\t' << formatByteCount(row.size) << '\n';
    std::cout << "Safe to sweep: " << formatByteCount(model.sweepableBytes()) << '\n';
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    AppModel model(desktopEnvironment());
    QTimer::singleShot(0, &model, [&model] { measureAndPrint(model); });
    return QCoreApplication::exec();
}
