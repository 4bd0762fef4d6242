#pragma once

#include <QFont>
#include <QString>

// A font of the named family, with fallbacks that Debian ships so the text
// keeps its weight and size where the family is missing.
QFont carattere(const QString& famiglia, qreal punti, int peso = QFont::Normal, bool corsivo = false);
