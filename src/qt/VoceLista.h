#pragma once

#include <QStyledItemDelegate>

namespace qt {

// How the dialog's lists draw a row. The list that has the keyboard focus
// shows its current row plainly: a solid outline, over a pale fill when the
// row is not selected. The list without the focus shows its selection
// inactive (grey), so only one list looks chosen at a time. A row may be
// indented by `livelloVoce` steps of `passoRientro` pixels (the folder list's
// chain).
class VoceLista : public QStyledItemDelegate {
public:
    static constexpr int livelloVoce = Qt::UserRole + 1;
    static constexpr int passoRientro = 16;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* pittore, const QStyleOptionViewItem& opzione, const QModelIndex& indice) const override;
    QSize sizeHint(const QStyleOptionViewItem& opzione, const QModelIndex& indice) const override;
};

}  // namespace qt
