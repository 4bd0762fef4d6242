#include "qt/GestioneErrori.h"
#include "sistema/Processo.h"
#include "qt/Disegni.h"
#include "qt/Schermo.h"
#include "qt/frmAmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    sistema::preparaProcesso();
    if (!qt::schermoDisponibile(argc, argv))
        return 1;
    QApplication app(argc, argv);
    qt::schermoAperto();
    QApplication::setApplicationName(QStringLiteral("Fendrix"));
    QApplication::setWindowIcon(qt::iconaProgramma());
    qt::frmAmain finestra;
    finestra.show();
    return QApplication::exec();
}
