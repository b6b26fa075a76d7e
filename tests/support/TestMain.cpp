#include <QCoreApplication>
#include <gtest/gtest.h>

// One QCoreApplication for every test binary so Qt timers, sockets and
// queued calls work; widget tests create their own QApplication instead.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
