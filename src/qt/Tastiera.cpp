#include "Tastiera.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace qt {

namespace {

// Lives as the button's child, so it goes with the button.
class InvioPreme : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* oggetto, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const int tasto = static_cast<QKeyEvent*>(e)->key();
        if (tasto != Qt::Key_Return && tasto != Qt::Key_Enter)
            return false;
        static_cast<QAbstractButton*>(oggetto)->animateClick();
        return true;
    }
};

}  // namespace

void invioPreme(QAbstractButton* pulsante)
{
    pulsante->installEventFilter(new InvioPreme(pulsante));
}

}  // namespace qt
