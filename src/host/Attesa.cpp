#include "host/Attesa.h"

#include "host/Messaggio.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <exception>
#include <thread>

namespace host {

namespace {
int ritardo = 1000;
}

void impostaRitardoAttesa(int millisecondi)
{
    ritardo = millisecondi;
}

void attendi(const QString& testo, const std::function<void()>& lavoro)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        lavoro();
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QProgressDialog finestra(testo, QString(), 0, 0);
    finestra.setWindowTitle(QString::fromLatin1(titoloApplicazione));
    finestra.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    finestra.setWindowModality(Qt::ApplicationModal);
    finestra.setCancelButton(nullptr);
    finestra.setMinimumDuration(ritardo);
    finestra.reset();  // stays hidden until the timer below

    QEventLoop ciclo;
    QTimer mostra;
    mostra.setSingleShot(true);
    QObject::connect(&mostra, &QTimer::timeout, &finestra, &QWidget::show);
    mostra.start(ritardo);

    std::exception_ptr errore;
    std::thread lavoratore([&] {
        try {
            lavoro();
        } catch (...) {
            errore = std::current_exception();
        }
        QMetaObject::invokeMethod(&ciclo, &QEventLoop::quit, Qt::QueuedConnection);
    });
    ciclo.exec(QEventLoop::ExcludeUserInputEvents);
    lavoratore.join();

    mostra.stop();
    finestra.hide();
    QApplication::restoreOverrideCursor();
    if (errore)
        std::rethrow_exception(errore);
}

}  // namespace host
