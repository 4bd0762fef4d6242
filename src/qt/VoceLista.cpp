#include "qt/VoceLista.h"

#include <QPainter>
#include <QWidget>

namespace qt {

namespace {

int rientro(const QModelIndex& indice)
{
    return indice.data(VoceLista::livelloVoce).toInt() * VoceLista::passoRientro;
}

}  // namespace

void VoceLista::paint(QPainter* pittore, const QStyleOptionViewItem& opzione, const QModelIndex& indice) const
{
    QStyleOptionViewItem o(opzione);
    o.rect.setLeft(o.rect.left() + rientro(indice));
    const bool conFuoco = o.widget != nullptr && o.widget->hasFocus();
    if (!conFuoco)
        o.state &= ~QStyle::State_Active;  // the inactive colours for the other list's selection
    const bool corrente = conFuoco && (o.state & QStyle::State_HasFocus);
    o.state &= ~QStyle::State_HasFocus;  // the style's dotted or pale outline gives way to ours
    const bool selezionata = o.state & QStyle::State_Selected;
    if (corrente && !selezionata)
        pittore->fillRect(o.rect, QColor(0xe3, 0xee, 0xf8));
    QStyledItemDelegate::paint(pittore, o, indice);
    if (corrente) {
        pittore->save();
        QPen penna(selezionata ? QColor(0x10, 0x3c, 0x66) : QColor(0x1d, 0x5f, 0xa0));
        penna.setWidthF(1.0);
        penna.setJoinStyle(Qt::MiterJoin);
        pittore->setPen(penna);
        pittore->setBrush(Qt::NoBrush);
        pittore->drawRect(QRectF(o.rect).adjusted(0.5, 0.5, -0.5, -0.5));
        pittore->restore();
    }
}

QSize VoceLista::sizeHint(const QStyleOptionViewItem& opzione, const QModelIndex& indice) const
{
    return QStyledItemDelegate::sizeHint(opzione, indice) + QSize(rientro(indice), 0);
}

}  // namespace qt
