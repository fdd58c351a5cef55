#include "support/HeadlessDefaults.h"

#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on real widgets; without a display they use the offscreen platform,
// and sound tests get OpenAL Soft's null device.
int main(int argc, char** argv) {
    useHeadlessDefaults();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
