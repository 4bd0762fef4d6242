#include "host/Messaggio.h"

#include "host/Attesa.h"

#include <QApplication>
#include <QMessageBox>

namespace host {

void mostraMessaggio(const QString& testo, Icona icona)
{
    QMessageBox box(icona == Icona::Avviso ? QMessageBox::Warning : QMessageBox::Critical,
                    QString::fromLatin1(titoloApplicazione), testo, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    // The plain arrow over the message, even in the middle of a busy run.
    const CursoreForzato freccia(Qt::ArrowCursor);
    box.exec();
}

}  // namespace host
