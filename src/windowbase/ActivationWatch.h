#pragma once

class QWidget;

// Tells a window's activation that comes from another window of the program
// (the user clicked from the main window into a viewer, or a dialog closed)
// from one that comes from outside it (the user returns from another
// application). The window system sends both alike; the program's own
// "activate" means only the first.
namespace activationwatch {

// Starts watching the program's windows; later calls do nothing. Call it
// before the window that asks is shown.
void Watch();

// Asked while `window` handles its activation: true unless the program had
// lost the activation to another application before it.
bool FromOwnWindow(const QWidget& window);

}  // namespace activationwatch
