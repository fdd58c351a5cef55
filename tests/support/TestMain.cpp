#include <QApplication>

#include <gtest/gtest.h>

// Widget tests run on real widgets; without a display they use the offscreen platform,
// and sound tests get OpenAL Soft's null device.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("ALSOFT_DRIVERS")) {
        qputenv("ALSOFT_DRIVERS", "null");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
