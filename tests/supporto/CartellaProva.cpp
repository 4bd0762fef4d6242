#include "CartellaProva.h"

#include "sistema/CartellaProgramma.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

RimozioneAllaFine::~RimozioneAllaFine()
{
    for (const QByteArray& p : percorsi_) {
        std::error_code e;
        std::filesystem::remove_all(p.toStdString(), e);
    }
}

CartellaProva::CartellaProva()
{
    QDir(dir_.path()).mkpath(QStringLiteral("programma/Shared/Sistemi"));
    QDir(dir_.path()).mkpath(QStringLiteral("utente"));
    sistema::impostaCartellaProgramma(fp(programma()));
}

CartellaProva::~CartellaProva()
{
    sistema::impostaCartellaProgramma({});
}

QString CartellaProva::programma() const
{
    return dir_.path() + QStringLiteral("/programma");
}

QString CartellaProva::dati() const
{
    return programma() + QStringLiteral("/Shared/Sistemi/");
}

QString CartellaProva::utente() const
{
    return dir_.path() + QStringLiteral("/utente");
}

QString CartellaProva::scriviSorgente(const QString& nome, const QByteArray& contenuto) const
{
    const QString percorso = utente() + QLatin1Char('/') + nome;
    scriviFile(percorso, contenuto);
    return percorso;
}

QStringList CartellaProva::fileDati() const
{
    return QDir(dati()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs |
                                      QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray b(const char* s, qsizetype n)
{
    return n < 0 ? QByteArray(s) : QByteArray(s, n);
}

QByteArray leggiFile(const QString& percorso)
{
    QFile f(percorso);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void scriviFile(const QString& percorso, const QByteArray& contenuto)
{
    QFile f(percorso);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(contenuto) != contenuto.size())
        qFatal("cannot write test file %s", qPrintable(percorso));
}

QByteArray hashFile(const QString& percorso)
{
    QFile f(percorso);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}
