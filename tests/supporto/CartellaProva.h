#pragma once

#include "qt/PercorsiQt.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A temporary folder laid out like an installed program: the program folder
// itself, with the data folder Shared/Sistemi inside it, and a separate
// folder for the user's files. The program folder is made the one the
// program reports for as long as the object lives.
class CartellaProva {
public:
    CartellaProva();
    ~CartellaProva();

    QString programma() const;  // the program folder
    QString dati() const;       // the data folder, with a trailing separator
    QString utente() const;     // a folder of the user's, outside the program folder

    // Writes `contenuto` to `nome` below the user's folder; returns its path.
    QString scriviSorgente(const QString& nome, const QByteArray& contenuto) const;

    // The names in the data folder, hidden ones included.
    QStringList fileDati() const;

    bool valida() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
};

// Removes the files and folders it is given, by their bytes and whatever
// they hold, when it goes (errors ignored): for names a temporary folder's
// own clean-up cannot reach.
class RimozioneAllaFine {
public:
    RimozioneAllaFine() = default;
    explicit RimozioneAllaFine(const QByteArray& percorso) { percorsi_ << percorso; }
    ~RimozioneAllaFine();
    RimozioneAllaFine(const RimozioneAllaFine&) = delete;
    RimozioneAllaFine& operator=(const RimozioneAllaFine&) = delete;
    RimozioneAllaFine& operator<<(const QByteArray& percorso)
    {
        percorsi_ << percorso;
        return *this;
    }

private:
    QList<QByteArray> percorsi_;
};

// A path of the system as the windows hold it, and back.
inline QString qs(const std::filesystem::path& percorso)
{
    return qt::testoDiPercorso(percorso);
}
inline std::filesystem::path fp(const QString& testo)
{
    return qt::percorsoDiTesto(testo);
}

// The bytes of a literal; give n for literals with NUL bytes inside.
QByteArray b(const char* s, qsizetype n = -1);

QByteArray leggiFile(const QString& percorso);
void scriviFile(const QString& percorso, const QByteArray& contenuto);
QByteArray hashFile(const QString& percorso);
