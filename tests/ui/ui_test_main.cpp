// The GUI tests run in one QApplication with their own settings, runtime and
// data directories, so that nothing of the user's is read or changed.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // Started as a further instance by mistake: never run the tests again.
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '/' && std::strchr(argv[i] + 1, '/') == nullptr) return 2;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME"}) {
        const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(name).toLower();
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setenv(name, dir.toLocal8Bit().constData(), 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
