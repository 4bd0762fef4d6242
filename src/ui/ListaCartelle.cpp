#include "ui/ListaCartelle.h"

#include "host/ErroreRuntime.h"
#include "host/GestioneErrori.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

namespace {

constexpr int ruoloPercorso = Qt::UserRole;

QString normalizza(const QString& cartella)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(cartella).absolutePath()));
}

}  // namespace

ListaCartelle::ListaCartelle(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(16);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* voce) { host::eseguiGestore([&] { apriVoce(voce); }); });
}

void ListaCartelle::svuota()
{
    clear();
    percorso_.clear();
}

void ListaCartelle::impostaPercorso(const QString& cartella)
{
    const QString nuovo = normalizza(cartella);
    const QFileInfo info(nuovo);
    if (!info.exists() || !info.isDir())
        throw host::ErroreRuntime(host::CodiceErrore::PercorsoNonTrovato, nuovo);
    if (!info.isReadable() || !info.isExecutable())
        throw host::ErroreRuntime(host::CodiceErrore::AutorizzazioneNegata, nuovo);
    if (nuovo == percorso_)
        return;
    percorso_ = nuovo;
    riempi();
    emit cambiato();
}

void ListaCartelle::apriVoce(QTreeWidgetItem* voce)
{
    if (voce != nullptr)
        impostaPercorso(voce->data(0, ruoloPercorso).toString());
}

void ListaCartelle::riempi()
{
    clear();
    const QIcon chiusa = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon aperta = style()->standardIcon(QStyle::SP_DirOpenIcon);

    // The chain from the root down to the current folder.
    QStringList catena;
    for (QDir d(percorso_);; ) {
        catena.prepend(QDir::toNativeSeparators(d.absolutePath()));
        if (d.isRoot() || !d.cdUp())
            break;
    }
    QTreeWidgetItem* genitore = nullptr;
    for (const QString& anello : catena) {
        const QString nome = QDir(anello).isRoot() ? anello : QFileInfo(anello).fileName();
        auto* voce = genitore ? new QTreeWidgetItem(genitore) : new QTreeWidgetItem(this);
        voce->setText(0, nome);
        voce->setData(0, ruoloPercorso, anello);
        voce->setIcon(0, chiusa);
        voce->setExpanded(true);
        genitore = voce;
    }
    genitore->setIcon(0, aperta);

    const QFileInfoList sottocartelle =
        QDir(percorso_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& sotto : sottocartelle) {
        auto* voce = new QTreeWidgetItem(genitore);
        voce->setText(0, sotto.fileName());
        voce->setData(0, ruoloPercorso, QDir::toNativeSeparators(sotto.absoluteFilePath()));
        voce->setIcon(0, chiusa);
    }
    expandAll();
    setCurrentItem(genitore);
    scrollToItem(genitore);
}
