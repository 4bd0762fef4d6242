#pragma once

#include <QListWidget>
#include <QString>

// A directory list in the classic style: the chain of folders from the root
// down to the current folder, each one step further in, the current one
// shown open, then the current folder's subfolders. A plain list with
// indented rows, as the classic one is, so a screen reader meets rows and
// no header. A double click or Enter on a folder opens it. The folder is
// reported without a trailing separator, except at the root.
class ListaCartelle : public QListWidget {
    Q_OBJECT
public:
    static constexpr int ruoloPercorso = Qt::UserRole;

    explicit ListaCartelle(QWidget* parent = nullptr);

    QString percorso() const { return percorso_; }

    // Opens `cartella` and raises cambiato() when it differs from the folder
    // shown. A folder that cannot be opened is a run-time error
    // (host::ErroreRuntime): the list stays as it was.
    void impostaPercorso(const QString& cartella);

    // Back to the state of a fresh list, showing no folder, without raising cambiato().
    void svuota();

signals:
    void cambiato();

private:
    void apriVoce(QListWidgetItem* voce);
    void riempi();

    QString percorso_;
};
