// Start-up and exit of the program: command line, settings, cooperation with
// running instances, the main window and the revision hand-over.
#pragma once

namespace zt::ui {

// Runs the program; the process exit code.
int RunApplication(int argc, char** argv);

} // namespace zt::ui
