#include "RispostaMessaggi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>

RispostaMessaggi::RispostaMessaggi(QObject* parent) : QObject(parent)
{
    connect(&timer_, &QTimer::timeout, this, &RispostaMessaggi::guarda);
    timer_.start(5);
}

void RispostaMessaggi::guarda()
{
    QWidget* finestra = QApplication::activeModalWidget();
    if (finestra == nullptr || !finestra->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(finestra)) {
        const Messaggio m{box->windowTitle(), box->icon(), box->text(),
                          static_cast<int>(box->buttons().size())};
        messaggi_.append(m);
        if (suMessaggio_)
            suMessaggio_(m);
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
        return;
    }
    if (finestra != ultimaFinestra_ && gestoreFinestra_) {
        ultimaFinestra_ = finestra;
        gestoreFinestra_(finestra);
    }
}
