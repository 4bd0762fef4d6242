#pragma once

#include <QListView>
#include <QString>

#include <memory>

namespace qt {

class ElencoCartella;
class ModelloCartelle;

// A directory list in the classic style: the chain of folders from the root
// down to the current folder, each one step further in, the current one
// shown open, then the current folder's subfolders. A plain list with
// indented rows, as the classic one is, so a screen reader meets rows and
// no header. A double click or Enter on a folder opens it. The folder is
// reported without a trailing separator, except at the root.
//
// The folder is read once (ElencoCartella) for this list and the file list
// alike; the subfolders of a very large folder show when its reading is
// complete. Each row's display text is the name shown, `ruoloPercorso` the
// folder's full path, VoceLista::livelloVoce its indentation.
class ListaCartelle : public QListView {
    Q_OBJECT
public:
    static constexpr int ruoloPercorso = Qt::UserRole;

    explicit ListaCartelle(QWidget* parent = nullptr);
    ~ListaCartelle() override;

    QString percorso() const { return percorso_; }
    // The reading of the folder shown, for the file list.
    std::shared_ptr<ElencoCartella> elenco() const { return elenco_; }
    int count() const;  // the rows: the chain, then the subfolders

    // Opens `cartella` and raises cambiato() when it differs from the folder
    // shown. A folder that cannot be opened is a run-time error
    // (sistema::ErroreRuntime): the list stays as it was.
    void impostaPercorso(const QString& cartella);

    // Back to the state of a fresh list, showing no folder, without raising cambiato().
    void svuota();

signals:
    void cambiato();

private:
    // Subfolders up to which each row is measured on its own.
    static constexpr int sottocartelleMisurate = 5000;

    void apriVoce(const QModelIndex& voce);
    void righeUniformi();

    ModelloCartelle* modello_;
    std::shared_ptr<ElencoCartella> elenco_;
    QString percorso_;
};

}  // namespace qt
