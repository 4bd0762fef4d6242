#pragma once

#include <QListView>
#include <QString>

#include <memory>

namespace qt {

class ElencoCartella;
class ModelloFile;

// A file list: the non-hidden names of a folder that lead to regular files
// and match a pattern, letter case ignored, sorted by name ignoring case. Selecting a
// file with the mouse or the keyboard raises clic(); the arrow keys select,
// as a list box's do, and while nothing is selected the first Down or Up
// selects the row the focus stands on (the first, once Tab has brought the
// focus here) instead of passing it by.
//
// The names live in a model that holds them packed (ElencoCartella), not in
// an item per file, so a folder of any size shows at once; a very large one
// is read on a thread, and the list fills when it is complete. Each row's
// display text is the name shown, Qt::UserRole its real name.
class ListaFile : public QListView {
    Q_OBJECT
public:
    explicit ListaFile(QWidget* parent = nullptr);
    ~ListaFile() override;

    // Shows the files of `cartella`, from `elenco` when that is a reading of
    // that same folder (the folder list's), else from a reading of its own.
    void impostaCartella(const QString& cartella, std::shared_ptr<ElencoCartella> elenco = nullptr);
    void impostaFiltro(const QString& filtro);
    // The folder, without a trailing separator except at the root.
    QString cartella() const { return cartella_; }
    QString nomeSelezionato() const;  // its real name, every byte kept
    int count() const;  // the files listed

    // Back to the state of a fresh list, without raising clic().
    void svuota();

signals:
    void clic();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void riempi();

    ModelloFile* modello_;
    std::shared_ptr<ElencoCartella> elenco_;
    QString cartella_;
    QString filtro_ = QStringLiteral("*.*");
    bool riempiendo_ = false;
};

}  // namespace qt
