#include "qt/CursoreForzato.h"

#include <QApplication>

namespace qt {

CursoreForzato::CursoreForzato(Qt::CursorShape forma)
{
    QApplication::setOverrideCursor(forma);
}

CursoreForzato::~CursoreForzato()
{
    QApplication::restoreOverrideCursor();
}

}  // namespace qt
