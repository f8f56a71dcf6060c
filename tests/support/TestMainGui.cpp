#include <QApplication>
#include <gtest/gtest.h>

// Widget tests: ctest sets QT_QPA_PLATFORM=offscreen, screenshots run under Xvfb.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
