// The one-line lists (combo boxes) of the program's windows.
#pragma once

class QWidget;

namespace kvn {

// Sets up every one-line list inside the window, now and as entries are
// added later:
// - the mouse wheel never changes the choice of a closed list (a stray scroll
//   over a list must never act); an open list still scrolls with the wheel,
//   and a click or the keyboard still chooses, as with a list box;
// - the open list is at least as wide as its longest entry plus its scroll
//   bar, however narrow the closed box;
// - the closed box draws a slim drop-down arrow and small inner margins, so
//   that a short name reads whole in a box of the window's small geometry.
void SetUpLists(QWidget& window);

}  // namespace kvn
