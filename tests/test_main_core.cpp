#include <QCoreApplication>
#include <gtest/gtest.h>

// Core tests run with a QCoreApplication so sockets, timers and codecs behave as in the programs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
