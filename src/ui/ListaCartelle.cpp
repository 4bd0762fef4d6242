#include "ui/ListaCartelle.h"

#include "host/ErroreRuntime.h"
#include "host/interazione/GestioneErrori.h"
#include "host/Percorsi.h"

#include "ui/VoceLista.h"

#include <QDir>
#include <QStyle>

namespace {

QString normalizza(const QString& cartella)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(cartella).absolutePath()));
}

}  // namespace

ListaCartelle::ListaCartelle(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new VoceLista(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* voce) { host::eseguiGestore([&] { apriVoce(voce); }); });
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

void ListaCartelle::apriVoce(QListWidgetItem* voce)
{
    if (voce != nullptr)
        impostaPercorso(voce->data(ruoloPercorso).toString());
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
    const auto aggiungi = [this, &chiusa](const QString& nome, const QString& percorso, int livello) {
        auto* voce = new QListWidgetItem(chiusa, host::testoVisibile(nome), this);
        voce->setData(ruoloPercorso, percorso);
        voce->setData(VoceLista::livelloVoce, livello);
        return voce;
    };
    QListWidgetItem* aperto = nullptr;
    for (const QString& anello : catena) {
        const QString nome = anello == radice ? anello : anello.mid(anello.lastIndexOf(QDir::separator()) + 1);
        aperto = aggiungi(nome, anello, count());
    }
    aperto->setIcon(aperta);
    const int livelloSotto = count();

    // Read through the host, so folders whose names are not valid UTF-8 are
    // listed and can be opened.
    for (const QString& sotto : host::elencaCartella(percorso_, host::TipoVoce::Cartella))
        aggiungi(sotto, host::unisciPercorso(percorso_, sotto), livelloSotto);
    setCurrentItem(aperto);
    scrollToItem(aperto);
}
