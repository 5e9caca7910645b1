// The platform tests need a QApplication: the folder dialog is a real widget (rendered
// offscreen), and D-Bus replies and network transfers arrive through the event loop.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Test discovery runs the binary outside CTest's environment too; never open a real window.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
