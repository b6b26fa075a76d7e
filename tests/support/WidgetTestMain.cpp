#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run inside one QApplication, on whichever platform the test
// launcher chose (offscreen, or an Xvfb server the test starts itself).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
