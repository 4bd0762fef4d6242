#include "ui/ListaFile.h"

#include "host/Percorsi.h"
#include "ui/VoceLista.h"

#include <QDir>
#include <QKeyEvent>
#include <QRegularExpression>

ListaFile::ListaFile(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new VoceLista(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A change of the selected file, by mouse or keyboard. Focus alone moves
    // the current item without selecting it, and is no click.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!riempiendo_ && !selectedItems().isEmpty())
            emit clic();
    });
}

void ListaFile::svuota()
{
    riempiendo_ = true;
    clear();
    riempiendo_ = false;
    cartella_.clear();
}

void ListaFile::impostaCartella(const QString& cartella)
{
    cartella_ = QDir::toNativeSeparators(QDir::cleanPath(QDir(cartella).absolutePath()));
    riempi();
}

void ListaFile::impostaFiltro(const QString& filtro)
{
    filtro_ = filtro;
    riempi();
}

void ListaFile::keyPressEvent(QKeyEvent* e)
{
    const bool freccia = e->key() == Qt::Key_Down || e->key() == Qt::Key_Up;
    if (freccia && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && selectedItems().isEmpty() && currentItem() != nullptr) {
        currentItem()->setSelected(true);
        return;
    }
    QListWidget::keyPressEvent(e);
}

QString ListaFile::nomeSelezionato() const
{
    const QList<QListWidgetItem*> scelti = selectedItems();
    return scelti.isEmpty() ? QString() : scelti.first()->data(Qt::UserRole).toString();
}

void ListaFile::riempi()
{
    riempiendo_ = true;
    clear();
    if (!cartella_.isEmpty()) {
        // What resolves to a regular file: no folders, FIFOs, sockets or
        // devices, even behind a symbolic link; no hidden files. Read through
        // the host, so names that are not valid UTF-8 are listed too (shown
        // with replacement characters, chosen by their real bytes). Letter
        // case ignored: '*.TXT' matches 'a.txt'.
        const QRegularExpression modello(
            QRegularExpression::wildcardToRegularExpression(filtro_),
            QRegularExpression::CaseInsensitiveOption);
        for (const QString& nome : host::elencaCartella(cartella_, host::TipoVoce::File)) {
            const QString visibile = host::testoVisibile(nome);
            if (!modello.match(visibile).hasMatch())
                continue;
            auto* voce = new QListWidgetItem(visibile, this);
            voce->setData(Qt::UserRole, nome);
        }
    }
    riempiendo_ = false;
}
