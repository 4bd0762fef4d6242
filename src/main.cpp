#include "host/GestioneErrori.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    host::preparaProcesso();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fendrix"));
    QMainWindow finestra;
    finestra.show();
    return QApplication::exec();
}
