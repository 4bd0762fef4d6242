#include "ui/ListaFile.h"

#include <QDir>

ListaFile::ListaFile(QWidget* parent) : QListWidget(parent)
{
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

QString ListaFile::nomeSelezionato() const
{
    const QList<QListWidgetItem*> scelti = selectedItems();
    return scelti.isEmpty() ? QString() : scelti.first()->text();
}

void ListaFile::riempi()
{
    riempiendo_ = true;
    clear();
    if (!cartella_.isEmpty()) {
        // Without QDir::System no FIFOs, sockets or devices; without
        // QDir::Hidden no hidden files; no CaseSensitive: '*.TXT' matches 'a.txt'.
        const QStringList nomi = QDir(cartella_).entryList(
            QStringList{filtro_}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        addItems(nomi);
    }
    riempiendo_ = false;
}
