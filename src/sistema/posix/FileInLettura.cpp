// The Linux side of the reader of items: the file opened, read and mapped a
// piece at a time, and the memory of the reader's buffers.
#include "../Interno.h"

#include "Descrittore.h"
#include "Finestre.h"

#include "sistema/ErroreRuntime.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sistema::interno {

namespace {

// A file at least this large is read through mappings of its pieces.
constexpr std::uint64_t sogliaMappa = std::uint64_t{1} << 20;

class FilePosix final : public FileInLettura {
public:
    explicit FilePosix(const std::filesystem::path& percorso);
    ~FilePosix() override;

    std::size_t leggi(char* dove, std::size_t n) override;
    std::optional<std::uint64_t> dimensioneOra() const noexcept override;

    bool mappabile() const noexcept override { return dichiarata_ >= sogliaMappa && finestre::protette(); }
    const char* mappa(std::uint64_t da, std::size_t n) override;
    void togliUltima() noexcept override;
    void nuovoPezzo(bool tutte) noexcept override;
    bool vistaTroncata() noexcept override;
    void riposiziona(std::uint64_t da) override;

private:
    // The mapped windows of the last two pieces that viewed the file: a
    // piece stays valid until the call after next.
    struct Finestra {
        char* base = nullptr;
        std::size_t byte = 0;
        int posto = -1;              // where the signal handler finds it
        unsigned long chiamata = 0;  // the piece that it was mapped for
    };
    void chiudi(Finestra& f) noexcept;   // unmaps it, noting whether the file shrank under it

    std::filesystem::path percorso_;
    Descrittore file_;
    Finestra finestre_[2];
    Finestra* ultima_ = nullptr;     // the window mappa() made last
    unsigned long chiamate_ = 0;
    bool troncato_ = false;          // the file shrank under a window
};

FilePosix::FilePosix(const std::filesystem::path& percorso) : percorso_(percorso)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. The type is
    // checked on the open descriptor, so nothing can swap the file between
    // the check and the read.
    file_.reset(::open(percorso.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file_.valido())
        throw ErroreRuntime::daErrno(errno, percorso);
    struct stat st {};
    if (::fstat(file_.get(), &st) != 0)
        throw ErroreRuntime::daErrno(errno, percorso);
    if (!S_ISREG(st.st_mode))
        throw ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    dichiarata_ = static_cast<std::uint64_t>(st.st_size);
}

FilePosix::~FilePosix()
{
    nuovoPezzo(true);
}

std::size_t FilePosix::leggi(char* dove, std::size_t n)
{
    const Trasferiti t = leggiTutto(file_.get(), dove, n);
    if (t.errore != 0)
        throw ErroreRuntime::daErrno(t.errore, percorso_);
    return t.byte;
}

std::optional<std::uint64_t> FilePosix::dimensioneOra() const noexcept
{
    struct stat st {};
    if (::fstat(file_.get(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

const char* FilePosix::mappa(std::uint64_t da, std::size_t n)
{
    Finestra* libera = finestre_[0].base == nullptr ? &finestre_[0] : finestre_[1].base == nullptr ? &finestre_[1] : nullptr;
    if (libera == nullptr)
        return nullptr;
    const std::uint64_t allineato = da / finestre::pagina * finestre::pagina;
    const std::size_t byte = static_cast<std::size_t>(da - allineato) + n;
    // Not populated ahead: the pages are mapped as the fields are scanned
    // (several at a fault), so a piece read ahead takes no memory before
    // it is used.
    void* m = ::mmap(nullptr, byte, PROT_READ, MAP_PRIVATE, file_.get(), static_cast<off_t>(allineato));
    if (m == MAP_FAILED)
        return nullptr;
    const int posto = finestre::registra(static_cast<char*>(m), byte);
    if (posto < 0) {
        ::munmap(m, byte);
        return nullptr;
    }
    *libera = {static_cast<char*>(m), byte, posto, chiamate_};
    ultima_ = libera;
    return libera->base + (da - allineato);
}

void FilePosix::togliUltima() noexcept
{
    if (ultima_ != nullptr && ultima_->base != nullptr)
        chiudi(*ultima_);
    ultima_ = nullptr;
}

void FilePosix::chiudi(Finestra& f) noexcept
{
    // Out of the handler's sight before it is unmapped.
    if (finestre::cancella(f.posto))
        troncato_ = true;
    ::munmap(f.base, f.byte);
    f = Finestra{};
}

void FilePosix::nuovoPezzo(bool tutte) noexcept
{
    ++chiamate_;
    // The caller may still use the piece of the call before this one.
    for (Finestra& f : finestre_)
        if (f.base != nullptr && (tutte || f.chiamata + 2 <= chiamate_))
            chiudi(f);
}

bool FilePosix::vistaTroncata() noexcept
{
    for (const Finestra& f : finestre_)
        if (f.base != nullptr && finestre::colpita(f.posto))
            troncato_ = true;
    return troncato_;
}

void FilePosix::riposiziona(std::uint64_t da)
{
    if (::lseek(file_.get(), static_cast<off_t>(da), SEEK_SET) < 0)
        throw ErroreRuntime::daErrno(errno, percorso_);
}

}  // namespace

std::unique_ptr<FileInLettura> apriInLettura(const std::filesystem::path& percorso)
{
    return std::make_unique<FilePosix>(percorso);
}

char* allargaTesto(char* dati, std::size_t byte, std::size_t nuovi) noexcept
{
    // A mapping of its own: it grows by remapping its pages, never copying
    // them or holding them twice, and it asks for huge pages as a whole
    // (filling it then faults a page in every 2 MiB instead of every 4 KiB;
    // advice on part of a mapping would split it, and a split mapping
    // cannot be remapped).
    void* nuovo = dati != nullptr ? ::mremap(dati, byte, nuovi, MREMAP_MAYMOVE)
                                  : ::mmap(nullptr, nuovi, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (nuovo == MAP_FAILED)
        return nullptr;
    ::madvise(nuovo, nuovi, MADV_HUGEPAGE);
    return static_cast<char*>(nuovo);
}

void liberaTesto(char* dati, std::size_t byte) noexcept
{
    if (dati != nullptr)
        ::munmap(dati, byte);
}

}  // namespace sistema::interno
