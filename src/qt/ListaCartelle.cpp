#include "qt/ListaCartelle.h"

#include "sistema/ErroreRuntime.h"
#include "qt/GestioneErrori.h"
#include "qt/PercorsiQt.h"

#include "ElencoCartella.h"
#include "qt/VoceLista.h"

#include <QAbstractListModel>
#include <QDir>
#include <QIcon>
#include <QStyle>

#include <climits>
#include <vector>

namespace qt {

namespace {

QString normalizza(const QString& cartella)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(cartella).absolutePath()));
}

}  // namespace

// The chain from the root down to the folder shown, then its subfolders
// from the folder's reading, once that is complete.
class ModelloCartelle : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void mostra(const QString& percorso, std::shared_ptr<ElencoCartella> elenco, const QIcon& chiusa, const QIcon& aperta)
    {
        beginResetModel();
        percorso_ = percorso;
        elenco_ = std::move(elenco);
        chiusa_ = chiusa;
        aperta_ = aperta;
        catena_.clear();
        sotto_ = 0;
        if (!percorso_.isEmpty()) {
            // Cut from the path itself: the names are shown as they can be,
            // the paths kept whole.
            const QString radice = QDir::rootPath();
            for (QString c = percorso_;;) {
                const qsizetype taglio = c.lastIndexOf(QDir::separator());
                const QString nome = c == radice ? c : c.mid(taglio + 1);
                catena_.insert(catena_.begin(), {qt::testoVisibile(nome), c});
                if (c == radice || taglio < 0)
                    break;
                c = taglio == 0 ? radice : c.left(taglio);
            }
            if (elenco_ && elenco_->completo())
                sotto_ = righeSotto();
        }
        endResetModel();
    }

    // The reading has become complete: its subfolders follow the chain.
    void completa()
    {
        const int n = righeSotto();
        if (n == 0)
            return;
        const int primo = static_cast<int>(catena_.size());
        beginInsertRows({}, primo, primo + n - 1);
        sotto_ = n;
        endInsertRows();
    }

    int aperta() const { return static_cast<int>(catena_.size()) - 1; }

    int rowCount(const QModelIndex& genitore = {}) const override
    {
        return genitore.isValid() ? 0 : static_cast<int>(catena_.size()) + sotto_;
    }

    QVariant data(const QModelIndex& indice, int ruolo) const override
    {
        if (!indice.isValid() || indice.row() >= rowCount())
            return {};
        const int riga = indice.row();
        const int livelli = static_cast<int>(catena_.size());
        if (riga < livelli) {
            const Anello& a = catena_[static_cast<std::size_t>(riga)];
            switch (ruolo) {
            case Qt::DisplayRole: return a.testo;
            case Qt::DecorationRole: return riga == livelli - 1 ? aperta_ : chiusa_;
            case ListaCartelle::ruoloPercorso: return a.percorso;
            case VoceLista::livelloVoce: return riga;
            default: return {};
            }
        }
        const NomiLetti& sotto = elenco_->cartelle();
        const qsizetype k = riga - livelli;
        switch (ruolo) {
        case Qt::DisplayRole: return sotto.testo(k);
        case Qt::DecorationRole: return chiusa_;
        case ListaCartelle::ruoloPercorso: return qt::unisciPercorso(percorso_, sotto.nome(k));
        case VoceLista::livelloVoce: return livelli;
        default: return {};
        }
    }

private:
    struct Anello {
        QString testo;
        QString percorso;
    };

    int righeSotto() const
    {
        const qsizetype n = elenco_->cartelle().size();
        return static_cast<int>(std::min<qsizetype>(n, INT_MAX - static_cast<qsizetype>(catena_.size())));
    }

    QString percorso_;
    std::shared_ptr<ElencoCartella> elenco_;
    QIcon chiusa_;
    QIcon aperta_;
    std::vector<Anello> catena_;
    int sotto_ = 0;
};

ListaCartelle::ListaCartelle(QWidget* parent) : QListView(parent), modello_(new ModelloCartelle(this))
{
    setModel(modello_);
    setItemDelegate(new VoceLista(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QAbstractItemView::activated, this,
            [this](const QModelIndex& voce) { qt::eseguiGestore([&] { apriVoce(voce); }); });
}

ListaCartelle::~ListaCartelle() = default;

int ListaCartelle::count() const
{
    return modello_->rowCount();
}

void ListaCartelle::svuota()
{
    if (elenco_)
        disconnect(elenco_.get(), nullptr, this, nullptr);
    elenco_.reset();
    percorso_.clear();
    modello_->mostra(percorso_, nullptr, {}, {});
    viewport()->unsetCursor();
}

void ListaCartelle::impostaPercorso(const QString& cartella)
{
    const QString nuovo = normalizza(cartella);
    if (const auto errore = sistema::erroreCartella(qt::percorsoDiTesto(nuovo)))
        throw sistema::ErroreRuntime(*errore, qt::percorsoDiTesto(nuovo));
    if (nuovo == percorso_)
        return;
    // Read once for both lists: the file list takes this reading too.
    std::shared_ptr<ElencoCartella> elenco = ElencoCartella::leggi(nuovo);
    if (elenco_)
        disconnect(elenco_.get(), nullptr, this, nullptr);
    elenco_ = std::move(elenco);
    percorso_ = nuovo;
    righeUniformi();
    modello_->mostra(percorso_, elenco_, style()->standardIcon(QStyle::SP_DirClosedIcon),
                     style()->standardIcon(QStyle::SP_DirOpenIcon));
    if (!elenco_->completo()) {
        viewport()->setCursor(Qt::BusyCursor);
        connect(elenco_.get(), &ElencoCartella::letta, this, [this] {
            righeUniformi();
            modello_->completa();
            viewport()->unsetCursor();
        });
    } else {
        viewport()->unsetCursor();
    }
    const QModelIndex aperta = modello_->index(modello_->aperta());
    setCurrentIndex(aperta);
    scrollTo(aperta);
    emit cambiato();
}

void ListaCartelle::righeUniformi()
{
    // Each row's width comes from its own size hint, so that long names
    // widen the list's scrolling; past some thousands of subfolders that
    // would hold the window for seconds, and all rows take the size of one.
    setUniformItemSizes(elenco_->completo() && elenco_->cartelle().size() > sottocartelleMisurate);
}

void ListaCartelle::apriVoce(const QModelIndex& voce)
{
    if (voce.isValid())
        impostaPercorso(voce.data(ruoloPercorso).toString());
}

}  // namespace qt
