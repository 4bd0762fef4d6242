#include "host/FileTemporaneo.h"

#include "host/ErroreRuntime.h"
#include "host/Percorsi.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace host {

FileTemporaneo::FileTemporaneo(const QString& cartella) : cartella_(cartella)
{
    const QByteArray nome = byteDiPercorso(cartella);
    fd_ = ::open(nome.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0)
        return;
    // Only a file system without unnamed files falls back to a name.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throw ErroreRuntime::daErrno(errno, cartella_);
    QByteArray modello = nome + '/' + prefissoNome + "XXXXXX";
    fd_ = ::mkostemp(modello.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw ErroreRuntime::daErrno(errno, cartella_);
    ::unlink(modello.constData());
}

FileTemporaneo::~FileTemporaneo()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void FileTemporaneo::scrivi(const char* dati, std::size_t n)
{
    while (n > 0) {
        const ssize_t scritti = ::write(fd_, dati, n);
        if (scritti < 0) {
            if (errno == EINTR)
                continue;
            throw ErroreRuntime::daErrno(errno, cartella_);
        }
        if (scritti == 0)
            throw ErroreRuntime(CodiceErrore::DiscoPieno, cartella_);
        dati += scritti;
        n -= static_cast<std::size_t>(scritti);
    }
}

std::size_t FileTemporaneo::leggi(std::uint64_t da, char* dati, std::size_t n)
{
    std::size_t letti = 0;
    while (letti < n) {
        const ssize_t r = ::pread(fd_, dati + letti, n - letti, static_cast<off_t>(da + letti));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw ErroreRuntime::daErrno(errno, cartella_);
        }
        if (r == 0)
            break;
        letti += static_cast<std::size_t>(r);
    }
    return letti;
}

}  // namespace host
