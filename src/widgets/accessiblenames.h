#pragma once
// Names for assistive technologies. Buttons, boxes and edit lines are named
// by their caption, their label or their tooltip; lists (item views) only by
// an accessible name, which this gives them from the same sources.
class QWidget;

namespace lumenta {

// Every list in window without an accessible name takes the text of the
// label whose buddy it is, else its tooltip, else the title of the frame
// around it. Called once a window's controls and labels are made.
void nameListsAfterTheirLabels(QWidget* window);

} // namespace lumenta
