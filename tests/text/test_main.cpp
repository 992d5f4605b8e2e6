// The page text tests draw pictures, and metafile text needs fonts, which
// need a QGuiApplication; the offscreen platform needs no display.
#include <gtest/gtest.h>

#ifdef ZT_TEST_WITH_QT
#include <QGuiApplication>
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef ZT_TEST_WITH_QT
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
