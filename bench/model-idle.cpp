// Runs the model headless, as the tray program does, for a number of seconds and prints the
// CPU time it used and its peak memory. Start-up work (discovery, the first scan) is measured
// apart from the idle poll loop that follows. With "--refresh ROOT" it instead times one whole
// refresh, as when the panel opens: the catalog measured and ROOT scanned for projects.
#include "AppModel.h"
#include "DesktopEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double seconds(const rusage& usage) {
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Our own threads and the children we started and reaped (ps once a minute).
double cpuSeconds() {
    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return seconds(self) + seconds(children);
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int timeRefresh(const char* projectRoot) {
    AppModel model(desktopEnvironment());
    model.setProjectRoots({projectRoot});
    QElapsedTimer clock;
    clock.start();
    int running = 2;
    const auto finished = [&] {
        if (--running > 0)
            return;
        std::printf("refresh: %lld ms (catalog measured, projects scanned), peak memory %.1f MiB\n",
                    static_cast<long long>(clock.elapsed()), double(peakKiB()) / 1024.0);
        QCoreApplication::quit();
    };
    model.refresh().then(finished);
    model.scanProjects().then(finished);
    return QCoreApplication::exec();
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--refresh")
        return timeRefresh(argv[2]);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (idleSeconds <= 0) {
        std::fprintf(stderr, "usage: pellwick-model-idle [SECONDS]\n");
        return 2;
    }
    AppModel model(desktopEnvironment());
    double idleStart = 0;
    QObject::connect(&model, &AppModel::rowsChanged, &model, [&] {
        if (idleStart > 0)
            return;
        // Let the project scan that follows the first rows finish before the idle window.
        QTimer::singleShot(3000, &model, [&] {
            idleStart = cpuSeconds();
            std::printf("start-up cpu: %.3f s\n", idleStart);
            QTimer::singleShot(idleSeconds * 1000, &model, [&] {
                const double used = cpuSeconds() - idleStart;
                std::printf("idle cpu over %d s: %.3f s (%.3f %% of one core)\n", idleSeconds, used,
                            100.0 * used / idleSeconds);
                std::printf("peak memory: %.1f MiB\n", double(peakKiB()) / 1024.0);
                QCoreApplication::quit();
            });
        });
    });
    model.start();
    return QCoreApplication::exec();
}
