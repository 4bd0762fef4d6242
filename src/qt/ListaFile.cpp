#include "qt/ListaFile.h"

#include "ElencoCartella.h"
#include "qt/VoceLista.h"

#include <QAbstractListModel>
#include <QDir>
#include <QKeyEvent>
#include <QRegularExpression>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace qt {

namespace {

// A file-name pattern matched against the names shown, letter case ignored:
// '*.TXT' matches 'a.txt'. A pattern that is a '*' and plain ASCII after it,
// as every pattern of the program is, matches an ASCII name by its folded
// bytes; any other pattern or name goes through the wildcard's expression.
class Modello {
public:
    explicit Modello(const QString& filtro)
        : espressione_(QRegularExpression::wildcardToRegularExpression(filtro), QRegularExpression::CaseInsensitiveOption)
    {
        const QString resto = filtro.mid(1);
        const bool semplice = filtro.startsWith(QLatin1Char('*')) && std::all_of(resto.begin(), resto.end(), [](QChar c) {
            return c.unicode() < 0x80 && !QStringLiteral("*?[]\\").contains(c);
        });
        if (semplice)
            suffisso_ = resto.toLower().toStdString();
    }

    bool corrisponde(const NomiLetti& nomi, qsizetype riga) const
    {
        if (suffisso_)
            if (const std::optional<bool> finisce = nomi.finisceCon(riga, *suffisso_))
                return *finisce;
        return espressione_.match(nomi.testo(riga)).hasMatch();
    }

private:
    QRegularExpression espressione_;
    std::optional<std::string> suffisso_;
};

}  // namespace

// The rows of a folder's reading whose names match the pattern.
class ModelloFile : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void mostra(std::shared_ptr<ElencoCartella> elenco, const QString& filtro)
    {
        beginResetModel();
        righe_.clear();
        elenco_ = std::move(elenco);
        if (elenco_ && elenco_->completo()) {
            const NomiLetti& nomi = elenco_->file();
            const Modello modello(filtro);
            for (qsizetype r = 0; r < nomi.size() && righe_.size() < std::size_t{INT_MAX}; ++r)
                if (modello.corrisponde(nomi, r))
                    righe_.push_back(r);
        }
        endResetModel();
    }

    int rowCount(const QModelIndex& genitore = {}) const override
    {
        return genitore.isValid() ? 0 : static_cast<int>(righe_.size());
    }

    QVariant data(const QModelIndex& indice, int ruolo) const override
    {
        if (!indice.isValid() || indice.row() >= rowCount())
            return {};
        const qsizetype riga = righe_[static_cast<std::size_t>(indice.row())];
        if (ruolo == Qt::DisplayRole)
            return elenco_->file().testo(riga);
        if (ruolo == Qt::UserRole)
            return elenco_->file().nome(riga);
        return {};
    }

private:
    std::shared_ptr<ElencoCartella> elenco_;
    std::vector<qsizetype> righe_;
};

ListaFile::ListaFile(QWidget* parent) : QListView(parent), modello_(new ModelloFile(this))
{
    setModel(modello_);
    setItemDelegate(new VoceLista(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A change of the selected file, by mouse or keyboard. Focus alone moves
    // the current row without selecting it, and is no click.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!riempiendo_ && selectionModel()->hasSelection())
            emit clic();
    });
}

ListaFile::~ListaFile() = default;

void ListaFile::svuota()
{
    if (elenco_)
        disconnect(elenco_.get(), nullptr, this, nullptr);
    elenco_.reset();
    riempi();
    cartella_.clear();
}

void ListaFile::impostaCartella(const QString& cartella, std::shared_ptr<ElencoCartella> elenco)
{
    cartella_ = QDir::toNativeSeparators(QDir::cleanPath(QDir(cartella).absolutePath()));
    if (elenco_)
        disconnect(elenco_.get(), nullptr, this, nullptr);
    elenco_ = elenco && elenco->cartella() == cartella_ ? std::move(elenco) : ElencoCartella::leggi(cartella_);
    if (!elenco_->completo())
        connect(elenco_.get(), &ElencoCartella::letta, this, [this] { riempi(); });
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
    if (freccia && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !selectionModel()->hasSelection() &&
        currentIndex().isValid()) {
        selectionModel()->select(currentIndex(), QItemSelectionModel::Select);
        return;
    }
    QListView::keyPressEvent(e);
}

QString ListaFile::nomeSelezionato() const
{
    const QModelIndexList scelti = selectionModel()->selectedIndexes();
    return scelti.isEmpty() ? QString() : scelti.first().data(Qt::UserRole).toString();
}

int ListaFile::count() const
{
    return modello_->rowCount();
}

void ListaFile::riempi()
{
    // What resolves to a regular file: no folders, FIFOs, sockets or devices,
    // even behind a symbolic link; no hidden files. Names that are not valid
    // UTF-8 are listed too (shown with replacement characters, chosen by
    // their real bytes).
    riempiendo_ = true;
    modello_->mostra(elenco_, filtro_);
    riempiendo_ = false;
    if (elenco_ && !elenco_->completo())
        viewport()->setCursor(Qt::BusyCursor);
    else
        viewport()->unsetCursor();
}

}  // namespace qt
