// The images of the program: its own icon and the button images of the
// commands, drawn at run time so that they look the same on every desktop.
#pragma once

class QIcon;

namespace zt::ui {

const QIcon& AppIcon();
// The button image of a command; a null icon for commands without one.
QIcon CommandIcon(int id);

} // namespace zt::ui
