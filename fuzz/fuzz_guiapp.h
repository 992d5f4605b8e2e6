// For fuzz targets that draw pictures: a QGuiApplication on the offscreen
// platform (fonts need one), Qt's messages silenced, and fontconfig's
// process-long caches kept out of the leak reports.
#pragma once

#include <QGuiApplication>

#include <cstdlib>

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QGuiApplication(*argc, *argv);
    return 0;
}
