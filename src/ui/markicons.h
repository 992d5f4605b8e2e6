// The six change marks of the page tree: a small disc whose left half tells
// whether the page changed since the last save (red no, blue yes) and whose
// right half the state of its attached files (red none, yellow unchanged,
// green changed).
#pragma once

class QIcon;

namespace zt::ui {

// The icon of mark 0..5 (other values give mark 0).
const QIcon& MarkIcon(int mark);

} // namespace zt::ui
