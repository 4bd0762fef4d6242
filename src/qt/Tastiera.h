#pragma once

class QAbstractButton;

namespace qt {

// Makes Enter (either key) on the focused `pulsante` press it, as Space does.
// A button that is not a dialog's default takes no Enter of its own, and the
// windows' buttons are not defaults: Enter in the folder list must open the
// folder, not press OK.
void invioPreme(QAbstractButton* pulsante);

}  // namespace qt
