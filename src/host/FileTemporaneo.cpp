#include "host/FileTemporaneo.h"

#include "host/ErroreRuntime.h"
#include "host/Percorsi.h"

#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace host {

bool inMemoria(const QString& cartella)
{
    struct statfs fs {};
    if (::statfs(byteDiPercorso(cartella).constData(), &fs) != 0)
        return false;
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

CartellaCorse cartellaCorse(const QString& dati, const std::function<bool(const QString&)>& suMemoria)
{
    if (!suMemoria(dati))
        return {dati, false};
    QStringList candidate;
    if (const QByteArray tmp = qgetenv("TMPDIR"); !tmp.isEmpty())
        candidate << percorsoDaByte(tmp);
    candidate << QStringLiteral("/var/tmp") << QStringLiteral("/tmp");
    for (const QString& c : candidate) {
        const QByteArray b = byteDiPercorso(c);
        struct stat st {};
        if (::stat(b.constData(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(b.constData(), W_OK | X_OK) == 0 &&
            !suMemoria(c))
            return {c, false};
    }
    return {dati, true};
}

Temporaneo apriTemporaneo(int base, const QByteArray& cartella, int accesso, unsigned modo, bool conNome,
                          const std::function<QByteArray()>& nomeNuovo, const QString& perErrori)
{
    Temporaneo t;
    if (!conNome) {
        t.file.reset(::openat(base, cartella.constData(), O_TMPFILE | accesso | O_CLOEXEC, static_cast<mode_t>(modo)));
        if (t.file.valido())
            return t;
        // Only a system or file system without unnamed files falls back to
        // a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw ErroreRuntime::daErrno(errno, perErrori);
    }
    for (int tentativo = 0;; ++tentativo) {
        const QByteArray nome = nomeNuovo();
        const QByteArray percorso = cartella + '/' + nome;
        t.file.reset(::openat(base, percorso.constData(), O_CREAT | O_EXCL | accesso | O_CLOEXEC, static_cast<mode_t>(modo)));
        if (t.file.valido()) {
            t.nome = nome;
            return t;
        }
        if (errno != EEXIST || tentativo == 100)
            throw ErroreRuntime::daErrno(errno, perErrori);
    }
}

FileTemporaneo::FileTemporaneo(const QString& cartella) : cartella_(cartella)
{
    const QByteArray percorso = byteDiPercorso(cartella);
    const auto nomeNuovo = [] {
        static constexpr char cifre[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        QByteArray nome(prefissoNome);
        for (int i = 0; i < 6; ++i)
            nome += cifre[QRandomGenerator::global()->bounded(static_cast<int>(sizeof cifre - 1))];
        return nome;
    };
    Temporaneo t = apriTemporaneo(AT_FDCWD, percorso, O_RDWR, 0600, false, nomeNuovo, cartella_);
    if (!t.nome.isEmpty())
        ::unlink((percorso + '/' + t.nome).constData());
    file_ = std::move(t.file);
}

void FileTemporaneo::scrivi(const char* dati, std::size_t n)
{
    const Trasferiti t = scriviTutto(file_.get(), dati, n);
    if (t.errore != 0)
        throw ErroreRuntime::daErrno(t.errore, cartella_);
    if (t.byte < n)
        throw ErroreRuntime(CodiceErrore::DiscoPieno, cartella_);
}

std::size_t FileTemporaneo::leggi(std::uint64_t da, char* dati, std::size_t n)
{
    const Trasferiti t = leggiTutto(file_.get(), dati, n, static_cast<std::int64_t>(da));
    if (t.errore != 0)
        throw ErroreRuntime::daErrno(t.errore, cartella_);
    return t.byte;
}

}  // namespace host
