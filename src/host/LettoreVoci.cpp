#include "host/LettoreVoci.h"

#include "host/ErroreRuntime.h"

#include <QFile>

#include <cerrno>
#include <algorithm>
#include <new>
#include <thread>

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

constexpr std::size_t sogliaDueFili = std::size_t{4} << 20;

struct Letto {
    std::size_t fine;  // where the bytes read end
    int errore;        // errno, 0 when all went well
};

// Reads bytes [da, a) of the file into `buffer` at the same offsets; stops
// early at the end of the file.
Letto leggiDa(int fd, char* buffer, std::size_t da, std::size_t a) noexcept
{
    while (da < a) {
        const ssize_t n = ::pread(fd, buffer + da, a - da, static_cast<off_t>(da));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {da, errno};
        }
        if (n == 0)
            break;
        da += static_cast<std::size_t>(n);
    }
    return {da, 0};
}

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

    // A large file is read in two halves at once: most of the time goes in
    // giving the buffer its memory, and two cores do that twice as fast.
    const std::size_t meta = attesa >= sogliaDueFili ? attesa / 2 : attesa;
    Letto seconda{meta, 0};
    std::thread altro;
    if (meta < attesa)
        altro = std::thread([&] { seconda = leggiDa(fd.get(), c.dati.get(), meta, attesa); });
    const Letto prima = leggiDa(fd.get(), c.dati.get(), 0, meta);
    if (altro.joinable())
        altro.join();
    if (prima.errore != 0)
        throw ErroreRuntime::daErrno(prima.errore, percorso);
    if (seconda.errore != 0)
        throw ErroreRuntime::daErrno(seconda.errore, percorso);
    // The file may have shrunk while we read it: keep what is there.
    c.dimensione = prima.fine;
    if (prima.fine == meta && seconda.fine > meta)
        c.dimensione = seconda.fine;
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
    prepara(percorso);
}

LettoreVoci LettoreVoci::daByte(std::string_view contenuto)
{
    LettoreVoci lettore;
    lettore.dati_ = std::make_unique_for_overwrite<char[]>(contenuto.size() + 1);
    std::copy(contenuto.begin(), contenuto.end(), lettore.dati_.get());
    lettore.dimensione_ = contenuto.size();
    lettore.prepara(QString());
    return lettore;
}

void LettoreVoci::prepara(const QString& percorso)
{
    std::string_view testo(dati_.get(), dimensione_);
    const Riconosciuta r = riconosci(testo);
    codifica_ = r.codifica;
    testo.remove_prefix(r.marca);
    if (codifica_ == Codifica::Utf16LE || codifica_ == Codifica::Utf16BE) {
        try {
            decodificato_ = daUtf16(testo, codifica_ == Codifica::Utf16BE);
        } catch (const std::bad_alloc&) {
            throw ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso);
        }
        dati_.reset();  // the UTF-8 text is all that is needed now
        testo = decodificato_;
    }
    campi_ = CampiTesto(testo);
}

std::vector<CampiTesto>& LettoreVoci::sezioni(std::size_t quante)
{
    sezioni_ = campi_.sezioni(quante);
    campi_ = CampiTesto(std::string_view{});
    return sezioni_;
}

}  // namespace host
