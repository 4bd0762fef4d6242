#include "qt/CursoreForzato.h"

#include <QApplication>

namespace host {

CursoreForzato::CursoreForzato(Qt::CursorShape forma)
{
    QApplication::setOverrideCursor(forma);
}

CursoreForzato::~CursoreForzato()
{
    QApplication::restoreOverrideCursor();
}

}  // namespace host
