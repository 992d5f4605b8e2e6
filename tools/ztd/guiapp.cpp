// The QGuiApplication some commands need (fonts for pictures with text,
// printing), made on first use on the offscreen platform unless the caller
// chose one; ztd never needs a display.
#include "ztd.h"

#ifdef ZT_HAVE_QT
#include <QGuiApplication>
#endif

namespace ztd {

void EnsureGuiApplication() {
#ifdef ZT_HAVE_QT
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static int argc = 1;
    static char name[] = "ztd";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
#endif
}

} // namespace ztd
