#include "host/LettoreVoci.h"

#include "host/ErroreRuntime.h"

#include <QFile>

#include <cerrno>
#include <new>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <cstdio>
#include <filesystem>
#endif

namespace host {

namespace {

struct Contenuto {
    std::unique_ptr<char[]> dati;
    std::size_t dimensione = 0;
};

std::unique_ptr<char[]> allocaBuffer(std::size_t n, const QString& percorso)
{
    try {
        return std::make_unique_for_overwrite<char[]>(n == 0 ? 1 : n);
    } catch (const std::bad_alloc&) {
        throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso);
    }
}

#if defined(Q_OS_UNIX)

class Descrittore {
public:
    explicit Descrittore(int fd) : fd_(fd) {}
    ~Descrittore() { if (fd_ >= 0) ::close(fd_); }
    Descrittore(const Descrittore&) = delete;
    Descrittore& operator=(const Descrittore&) = delete;
    int get() const { return fd_; }
private:
    int fd_;
};

Contenuto leggiTutto(const QString& percorso)
{
    const QByteArray nome = QFile::encodeName(percorso);
    // O_NONBLOCK: opening a FIFO must not wait for a writer. The type is
    // checked on the open descriptor, so nothing can swap the file between
    // the check and the read.
    Descrittore fd(::open(nome.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        throw ErroreRuntime::daErrno(errno, percorso);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw ErroreRuntime::daErrno(errno, percorso);
    if (!S_ISREG(st.st_mode))
        throw ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);

    Contenuto c;
    const auto attesa = static_cast<std::size_t>(st.st_size);
    c.dati = allocaBuffer(attesa, percorso);
    while (c.dimensione < attesa) {
        const ssize_t n = ::read(fd.get(), c.dati.get() + c.dimensione, attesa - c.dimensione);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ErroreRuntime::daErrno(errno, percorso);
        }
        if (n == 0)
            break;  // the file shrank while we read it: keep what is there
        c.dimensione += static_cast<std::size_t>(n);
    }
    return c;
}

#else

Contenuto leggiTutto(const QString& percorso)
{
    const std::filesystem::path p = percorso.toStdWString();
    std::error_code ec;
    const auto stato = std::filesystem::status(p, ec);
    if (ec)
        throw ErroreRuntime::daErrno(ec.value(), percorso);
    if (!std::filesystem::is_regular_file(stato))
        throw ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    const auto attesa = static_cast<std::size_t>(std::filesystem::file_size(p, ec));
    if (ec)
        throw ErroreRuntime::daErrno(ec.value(), percorso);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(_wfopen(p.c_str(), L"rb"), &std::fclose);
    if (!f)
        throw ErroreRuntime::daErrno(errno, percorso);
    Contenuto c;
    c.dati = allocaBuffer(attesa, percorso);
    c.dimensione = std::fread(c.dati.get(), 1, attesa, f.get());
    if (std::ferror(f.get()))
        throw ErroreRuntime(CodiceErrore::ErroreIO, percorso);
    return c;
}

#endif

}  // namespace

LettoreVoci::LettoreVoci(const QString& percorso)
{
    Contenuto c = leggiTutto(percorso);
    dati_ = std::move(c.dati);
    dimensione_ = c.dimensione;
    std::string_view testo(dati_.get(), dimensione_);
    bom_ = testo.starts_with(bomUtf8);
    if (bom_)
        testo.remove_prefix(bomUtf8.size());
    campi_ = CampiTesto(testo);
}

}  // namespace host
