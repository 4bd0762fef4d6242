#include "qt/Attesa.h"

#include "qt/Ripieghi.h"
#include "qt/CursoreForzato.h"
#include "qt/Messaggio.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <exception>
#include <memory>
#include <thread>

namespace qt {

namespace {
int ritardo = 1000;
}

void impostaRitardoAttesa(int millisecondi)
{
    ritardo = millisecondi;
}

void attendi(const QString& testo, const std::function<void()>& lavoro)
{
    // Declared in the order they may be used, so that each outlives whatever
    // refers to it, however this function is left.
    const CursoreForzato occupato(Qt::WaitCursor);
    QEventLoop ciclo;
    std::exception_ptr errore;

    // The window is made only once the run has lasted `ritardo`: a shorter
    // run never shows it.
    std::unique_ptr<QProgressDialog> finestra;
    QTimer mostra;
    mostra.setSingleShot(true);
    QObject::connect(&mostra, &QTimer::timeout, [&] {
        finestra = std::make_unique<QProgressDialog>(testo, QString(), 0, 0);
        finestra->setWindowTitle(QString::fromLatin1(titoloApplicazione));
        finestra->setFont(conRipieghi(finestra->font()));
        finestra->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        finestra->setWindowModality(Qt::ApplicationModal);
        finestra->setCancelButton(nullptr);
        finestra->show();
    });
    mostra.start(ritardo);

    {
        // Joined when the block ends, also if the loop below throws.
        std::jthread lavoratore([&] {
            try {
                lavoro();
            } catch (...) {
                errore = std::current_exception();
            }
            QMetaObject::invokeMethod(&ciclo, &QEventLoop::quit, Qt::QueuedConnection);
        });
        ciclo.exec(QEventLoop::ExcludeUserInputEvents);
    }

    mostra.stop();
    finestra.reset();
    if (errore)
        std::rethrow_exception(errore);
}

}  // namespace qt
