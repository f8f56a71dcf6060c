#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests run inside an application object so sockets, timers and queued calls work.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
