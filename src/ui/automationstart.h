// Being driven by other programs: an instance started with -automation (or
// by D-Bus activation) serves org.zettrix.Zettrix /Application on the
// session bus, runs each JavaScript call with the main window locked, and
// ends when its last client leaves, unless the user started working in it.
#pragma once

#include "script/environment.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace zt::ui {

class CZTAutomation;
struct CZTAutomationDeleter {
    void operator()(CZTAutomation* a) const;
};
using CZTAutomationPtr = std::unique_ptr<CZTAutomation, CZTAutomationDeleter>;

// Starts the service for the given main window; null with the reason when
// the bus or the name is not to be had. callHook(true) runs before each call
// (the window's automatic link marking goes off), callHook(false) after it.
// `environment` is what the scripts reach as ztDocument and ztActivePage
// (the window's document); without it they have no document.
CZTAutomationPtr StartAutomation(QWidget* mainWindow, QString* error,
                                 std::function<void(bool inCall)> callHook = {},
                                 std::unique_ptr<zt::script::CScriptEnvironment> environment = {});
void StopAutomation(CZTAutomation* automation);

// The D-Bus service file that lets the bus start the program for a client
// (in the user's data directory), written by -register, removed by
// -unregister.
QString AutomationServiceFilePath();
QString AutomationServiceFile(const QString& program);
bool RegisterAutomationService(const QString& program, QString* error);
bool UnregisterAutomationService(QString* error);

} // namespace zt::ui
