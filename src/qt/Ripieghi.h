#pragma once

#include <QFont>
#include <QString>

namespace qt {

// A font of the named family, with fallbacks that Debian ships so the text
// keeps its weight and size where the family is missing: first the faces
// nearest to it, then the common sans faces (DejaVu, Liberation, URW's
// Nimbus...), and only last the configuration's own "Sans Serif", which
// without alias rules may name any face at all (a mathematical serif, or
// Dingbats).
QFont carattere(const QString& famiglia, qreal punti, int peso = QFont::Normal, bool corsivo = false);

// `font` (the desktop's, for a message box or its button) with the same
// fallbacks as the windows' fonts.
QFont conRipieghi(QFont font);

}  // namespace qt
