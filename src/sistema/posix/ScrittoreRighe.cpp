#include "ScrittoreRighePosix.h"

#include "sistema/ErroreRuntime.h"
#include "Segnali.h"
#include "Temporanei.h"

#include <atomic>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sistema {

namespace {

std::atomic<bool> soloConNome{false};

std::string nomeCasuale()
{
    // Short, so that any name that is legal for the copy still works.
    char nome[16];
    std::snprintf(nome, sizeof nome, ".fx%08x.tmp", static_cast<unsigned>(casuale()));
    return nome;
}

bool soloCaratteri(const char* da, std::size_t n, const char* ammessi)
{
    for (std::size_t i = 0; i < n; ++i)
        if (da[i] == '\0' || std::strchr(ammessi, da[i]) == nullptr)
            return false;
    return true;
}

// A name nomeCasuale() makes, or one a run's temporary file has for an
// instant where the file system has no unnamed files.
bool temporaneoDelProgramma(const char* nome)
{
    const std::size_t n = std::strlen(nome);
    if (n == 15 && std::strncmp(nome, ".fx", 3) == 0 && std::strcmp(nome + 11, ".tmp") == 0)
        return soloCaratteri(nome + 3, 8, "0123456789abcdef");
    const std::size_t prefisso = sizeof FileTemporaneo::prefissoNome - 1;
    if (n == prefisso + 6 && std::strncmp(nome, FileTemporaneo::prefissoNome, prefisso) == 0)
        return soloCaratteri(nome + prefisso, 6,
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    return false;
}

// Removes from the folder the temporary files a killed process of this
// program left: only regular files of those names that nobody has changed
// for a minute and nobody holds locked (a writer locks its file as soon as
// it has a name; a file younger than a minute may be in the instant before
// its lock), and only while the name is still the file that was locked.
// Best effort: whatever cannot be looked at or removed stays.
void spazzaTemporanei(int cartella)
{
    std::vector<std::string> nomi;
    {
        const int elenco = ::openat(cartella, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (elenco < 0)
            return;
        DIR* d = ::fdopendir(elenco);
        if (d == nullptr) {
            ::close(elenco);
            return;
        }
        while (const dirent* v = ::readdir(d))
            if (temporaneoDelProgramma(v->d_name))
                nomi.emplace_back(v->d_name);
        ::closedir(d);
    }
    timespec adesso {};
    ::clock_gettime(CLOCK_REALTIME, &adesso);
    for (const std::string& nome : nomi) {
        const Descrittore file(::openat(cartella, nome.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const int fd = file.get();
        if (fd < 0)
            continue;
        struct stat st {};
        struct stat ora {};
        // The lock goes with the descriptor.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && adesso.tv_sec - st.st_mtim.tv_sec >= 60 &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(cartella, nome.c_str(), &ora, AT_SYMLINK_NOFOLLOW) == 0 && ora.st_dev == st.st_dev &&
            ora.st_ino == st.st_ino)
            ::unlinkat(cartella, nome.c_str(), 0);
    }
}

}  // namespace

void usaSoloTemporaneiConNome(bool si)
{
    soloConNome = si;
}

// --- the parts --------------------------------------------------------------

void ScrittoreRighe::Impl::NomeTemporaneo::imposta(int cartella, const std::string& nome)
{
    cartella_ = cartella;
    nome_ = nome;
    rimuoviSuSegnale(cartella, nome);
}

void ScrittoreRighe::Impl::NomeTemporaneo::rilascia() noexcept
{
    if (nome_.empty())
        return;
    nonRimuovereSuSegnale(cartella_, nome_);
    nome_.clear();
    cartella_ = -1;
}

void ScrittoreRighe::Impl::NomeTemporaneo::rimuovi() noexcept
{
    if (nome_.empty())
        return;
    ::unlinkat(cartella_, nome_.c_str(), 0);
    rilascia();
}

// --- the writer -------------------------------------------------------------

ScrittoreRighe::Impl::Impl(const std::filesystem::path& destinazione, testo::Codifica codifica,
                               const std::filesystem::path& sorgente)
    : BloccoCopia(codifica), destinazione_(destinazione)
{
    const std::string& percorso = destinazione.native();
    const std::size_t taglio = percorso.rfind('/');
    const std::string cartella = taglio == std::string::npos ? std::string(".")
                                 : taglio == 0                ? std::string("/")
                                                              : percorso.substr(0, taglio);
    nome_ = taglio == std::string::npos ? percorso : percorso.substr(taglio + 1);

    modoSorgente_ = 0777;
    if (!sorgente.empty()) {
        struct stat st {};
        // A source that cannot be looked at lends no rights to others.
        modoSorgente_ = 0700;
        if (::stat(sorgente.c_str(), &st) == 0) {
            modoSorgente_ = st.st_mode & 0777;
            sorgenteNota_ = true;
            proprietarioSorgente_ = st.st_uid;
            gruppoSorgente_ = st.st_gid;
        }
    }

    cartella_.reset(::open(cartella.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (cartella_.get() < 0)
        throw ErroreRuntime::daErrno(errno, destinazione_);
    spazzaTemporanei(cartella_.get());
    creaTemporaneo();
    scrivi(testo::marca(codifica));
}

ScrittoreRighe::Impl::~Impl() = default;

void ScrittoreRighe::Impl::creaTemporaneo()
{
    Temporaneo t = apriTemporaneo(cartella_.get(), ".", O_WRONLY, 0666, soloConNome, nomeCasuale, destinazione_);
    const int fd = t.file.get();
    if (!t.nome.empty())
        temporaneo_.imposta(cartella_.get(), t.nome);
    // Locked for as long as the writer lives, before it has any name, so
    // that no other instance's clean-up takes it for a killed process's. A
    // file system without locks lets no clean-up lock it either.
    ::flock(fd, LOCK_EX | LOCK_NB);
    file_ = std::move(t.file);
    // Created with 0666 so that the umask shows; private until complete.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        fallisci(errno);
    modoPredefinito_ = st.st_mode & 0777;
}

void ScrittoreRighe::Impl::fallisci(int numeroErrno)
{
    // The name goes now, the file with the writer.
    temporaneo_.rimuovi();
    throw ErroreRuntime::daErrno(numeroErrno, destinazione_);
}

void ScrittoreRighe::Impl::emetti(const char* dati, std::size_t n)
{
    // A write that writes nothing is an I/O error of the copy.
    const Trasferiti t = scriviTutto(file_.get(), dati, n);
    if (t.errore != 0)
        fallisci(t.errore);
    if (t.byte < n)
        fallisci(EIO);
    scritti_ += n;
    // Every MiB the disk is asked to start on what has been written,
    // so that its work overlaps with making the next lines and the fsync
    // at the end finds little left. Only a request: its errors, if any,
    // come back from the fsync.
    constexpr std::uint64_t passo = std::uint64_t{1} << 20;
    if (scritti_ - avviati_ >= passo) {
        ::sync_file_range(file_.get(), static_cast<off_t>(avviati_), static_cast<off_t>(scritti_ - avviati_),
                          SYNC_FILE_RANGE_WRITE);
        avviati_ = scritti_;
    }
}

bool ScrittoreRighe::Impl::controllaDestinazione()
{
    // An earlier copy the user may not write is left alone, as opening it
    // for output would fail. A symbolic link is replaced, not written
    // through, so what it points to does not matter. False when nothing
    // has the name.
    struct stat st {};
    if (::fstatat(cartella_.get(), nome_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            fallisci(errno);
        return false;
    }
    if (!S_ISLNK(st.st_mode) && ::faccessat(cartella_.get(), nome_.c_str(), W_OK, 0) != 0)
        fallisci(errno);
    return true;
}

void ScrittoreRighe::Impl::impostaPermessi()
{
    const bool altriLeggono = (modoSorgente_ & S_IROTH) != 0;
    const auto proprietarioLegge = [&](uid_t u) {
        return altriLeggono || (sorgenteNota_ && u == proprietarioSorgente_);
    };
    const auto gruppoLegge = [&](gid_t g) {
        return altriLeggono || (sorgenteNota_ && g == gruppoSorgente_ && (modoSorgente_ & S_IRGRP));
    };
    // The user's, in the user's group: set explicitly, as in a folder with
    // the set-group-ID bit a new file takes the folder's group.
    unsigned modo = modoPredefinito_;
    uid_t proprietario = ::geteuid();
    gid_t gruppo = ::getegid();
    struct stat precedente {};
    if (::fstatat(cartella_.get(), nome_.c_str(), &precedente, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(precedente.st_mode)) {
        modo = precedente.st_mode & 0777;
        if (proprietarioLegge(precedente.st_uid))
            proprietario = precedente.st_uid;
        if (gruppoLegge(precedente.st_gid))
            gruppo = precedente.st_gid;
    }
    // What the system allows of it; the rights follow the group it gets.
    if (::fchown(file_.get(), proprietario, gruppo) != 0 &&
        ::fchown(file_.get(), static_cast<uid_t>(-1), gruppo) != 0)
        ::fchown(file_.get(), static_cast<uid_t>(-1), ::getegid());
    struct stat copia {};
    if (::fstat(file_.get(), &copia) != 0)
        fallisci(errno);
    if (!gruppoLegge(copia.st_gid))
        modo &= ~unsigned{S_IRWXG};
    if (!altriLeggono)
        modo &= ~unsigned{S_IRWXO};
    modo |= S_IRUSR | S_IWUSR;
    if (::fchmod(file_.get(), static_cast<mode_t>(modo)) != 0)
        fallisci(errno);
}

int ScrittoreRighe::Impl::collega(const std::string& nome)
{
    // The unnamed file gets `nome`, unless something already has it.
    const std::string proc = "/proc/self/fd/" + std::to_string(file_.get());
    int esito = ::linkat(AT_FDCWD, proc.c_str(), cartella_.get(), nome.c_str(), AT_SYMLINK_FOLLOW);
    if (esito != 0 && errno == ENOENT)  // no /proc
        esito = ::linkat(file_.get(), "", cartella_.get(), nome.c_str(), AT_EMPTY_PATH);
    return esito == 0 ? 0 : errno;
}

void ScrittoreRighe::Impl::nomina()
{
    if (!temporaneo_.nome().empty())
        return;  // named from the start
    for (int tentativo = 0;; ++tentativo) {
        const std::string nome = nomeCasuale();
        const int esito = collega(nome);
        if (esito == 0) {
            temporaneo_.imposta(cartella_.get(), nome);
            return;
        }
        if (esito != EEXIST || tentativo == 100)
            fallisci(esito);
    }
}

void ScrittoreRighe::Impl::completa()
{
    svuota();
    if (::fsync(file_.get()) != 0 && errno != EINVAL)
        fallisci(errno);
    const bool precedente = controllaDestinazione();
    impostaPermessi();
    // No copy yet: the unnamed file goes straight to its name, so there is
    // no instant in which a hidden name could be left behind. If a copy
    // appears meanwhile, it is an earlier copy like any other.
    bool fatto = false;
    if (!precedente && temporaneo_.nome().empty()) {
        const int esito = collega(nome_);
        if (esito != 0 && esito != EEXIST)
            fallisci(esito);
        fatto = esito == 0;
        if (!fatto) {
            controllaDestinazione();
            impostaPermessi();
        }
    }
    if (!fatto) {
        nomina();
        if (::renameat(cartella_.get(), temporaneo_.nome().c_str(), cartella_.get(), nome_.c_str()) != 0)
            fallisci(errno);
        temporaneo_.rilascia();
    }
    file_.reset();
    // The rename itself reaches the disk with the folder.
    if (::fsync(cartella_.get()) != 0 && errno != EINVAL)
        throw ErroreRuntime::daErrno(errno, destinazione_);
}

// --- the public face -------------------------------------------------------

ScrittoreRighe::ScrittoreRighe(const std::filesystem::path& destinazione, testo::Codifica codifica,
                               const std::filesystem::path& sorgente)
    : impl_(std::make_unique<Impl>(destinazione, codifica, sorgente))
{
}

ScrittoreRighe::~ScrittoreRighe() = default;

void ScrittoreRighe::scriviTesto(std::string_view testo)
{
    impl_->scriviTesto(testo);
}

void ScrittoreRighe::completa()
{
    impl_->completa();
}

}  // namespace sistema
