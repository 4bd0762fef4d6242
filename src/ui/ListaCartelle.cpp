#include "ui/ListaCartelle.h"

#include "host/ErroreRuntime.h"
#include "host/GestioneErrori.h"
#include "host/Percorsi.h"

#include <QDir>
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
    if (const auto errore = host::erroreCartella(nuovo))
        throw host::ErroreRuntime(*errore, nuovo);
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

    // The chain from the root down to the current folder, cut from the path
    // itself: the names are shown as they can be, the paths kept whole.
    const QString radice = QDir::rootPath();
    QStringList catena;
    for (QString c = percorso_;;) {
        catena.prepend(c);
        const qsizetype taglio = c.lastIndexOf(QDir::separator());
        if (c == radice || taglio < 0)
            break;
        c = taglio == 0 ? radice : c.left(taglio);
    }
    QTreeWidgetItem* genitore = nullptr;
    for (const QString& anello : catena) {
        const QString nome = anello == radice ? anello : anello.mid(anello.lastIndexOf(QDir::separator()) + 1);
        auto* voce = genitore ? new QTreeWidgetItem(genitore) : new QTreeWidgetItem(this);
        voce->setText(0, host::testoVisibile(nome));
        voce->setData(0, ruoloPercorso, anello);
        voce->setIcon(0, chiusa);
        voce->setExpanded(true);
        genitore = voce;
    }
    genitore->setIcon(0, aperta);

    // Read through the host, so folders whose names are not valid UTF-8 are
    // listed and can be opened.
    for (const QString& sotto : host::elencaCartella(percorso_, host::TipoVoce::Cartella)) {
        auto* voce = new QTreeWidgetItem(genitore);
        voce->setText(0, host::testoVisibile(sotto));
        voce->setData(0, ruoloPercorso, host::unisciPercorso(percorso_, sotto));
        voce->setIcon(0, chiusa);
    }
    expandAll();
    setCurrentItem(genitore);
    scrollToItem(genitore);
}
