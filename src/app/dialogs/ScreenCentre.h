#pragma once

class QWidget;

// Moves a top-level window to the middle of the available area of the screen
// it is on (the primary screen when it has none yet). Call it once the window
// has its final size, for example from its showEvent.
void centreOnScreen(QWidget& window);
