#include <gtest/gtest.h>
#include <QCoreApplication>

// Qt needs an application object for files, text codecs and (in the window
// tests) widgets. Nothing may be printed before RUN_ALL_TESTS: test
// discovery reads the output.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
