// Window helpers shared by the program's windows.
#pragma once

class QWidget;

namespace kvn {

// Keeps the mouse wheel from changing the choice of a closed one-line list
// (a combo box) anywhere inside the window: a stray scroll over a list must
// never act. An open list still scrolls with the wheel, and a click or the
// keyboard still chooses, as with a list box.
void GuardListsFromWheel(QWidget& window);

}  // namespace kvn
