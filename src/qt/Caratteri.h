#pragma once

#include "qt/Ripieghi.h"

#include <QFont>
#include <QPalette>
#include <QString>

class QLabel;

namespace qt {


// Gives `etichetta` the font `voluto` at its own size if its text fits the
// label's fixed width, else at the largest size that fits, stepping down by
// half points and never below 7 pt. Labels have fixed widths, and the
// installed fonts decide how wide a caption is drawn.
void adattaAllaLarghezza(QLabel* etichetta, const QFont& voluto);

// The windows' own colours: white backgrounds with dark text, whatever the
// desktop's palette, so that a dark theme never gives light text on white.
// A disabled text box stays greyed and readable; a selection is blue where
// the focus is, grey elsewhere.
QPalette tavolozzaChiara();

}  // namespace qt
