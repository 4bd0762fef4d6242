#pragma once

#include <QListWidget>
#include <QString>

// A file list: the non-hidden names of a folder that lead to regular files
// and match a pattern, letter case ignored, sorted by name ignoring case. Selecting a
// file with the mouse or the keyboard raises clic(); the arrow keys select,
// as a list box's do, and while nothing is selected the first Down or Up
// selects the row the focus stands on (the first, once Tab has brought the
// focus here) instead of passing it by.
class ListaFile : public QListWidget {
    Q_OBJECT
public:
    explicit ListaFile(QWidget* parent = nullptr);

    void impostaCartella(const QString& cartella);
    void impostaFiltro(const QString& filtro);
    // The folder, without a trailing separator except at the root.
    QString cartella() const { return cartella_; }
    QString nomeSelezionato() const;  // its real name, every byte kept

    // Back to the state of a fresh list, without raising clic().
    void svuota();

signals:
    void clic();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void riempi();

    QString cartella_;
    QString filtro_ = QStringLiteral("*.*");
    bool riempiendo_ = false;
};
