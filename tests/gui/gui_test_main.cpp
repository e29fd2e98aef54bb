#include <gtest/gtest.h>
#include <QApplication>

// Widgets need a QApplication; the tests run offscreen unless told
// otherwise. Nothing may be printed before RUN_ALL_TESTS: test discovery
// reads the output.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
