#include "Temporanei.h"

#include "sistema/ErroreRuntime.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sistema {

bool inMemoria(const std::filesystem::path& cartella)
{
    struct statfs fs {};
    if (::statfs(cartella.c_str(), &fs) != 0)
        return false;
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

CartellaCorse cartellaCorse(const std::filesystem::path& dati,
                            const std::function<bool(const std::filesystem::path&)>& suMemoria)
{
    if (!suMemoria(dati))
        return {dati, false};
    std::vector<std::filesystem::path> candidate;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0')
        candidate.emplace_back(tmp);
    candidate.emplace_back("/var/tmp");
    candidate.emplace_back("/tmp");
    for (const std::filesystem::path& c : candidate) {
        struct stat st {};
        if (::stat(c.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(c.c_str(), W_OK | X_OK) == 0 &&
            !suMemoria(c))
            return {c, false};
    }
    return {dati, true};
}

std::uint32_t casuale()
{
    // Seeded once from the system's entropy, so that two processes never
    // try the same names in turn.
    static std::mutex mutex;
    static std::mt19937 generatore{std::random_device{}()};
    const std::lock_guard blocco(mutex);
    return static_cast<std::uint32_t>(generatore());
}

Temporaneo apriTemporaneo(int base, const std::string& cartella, int accesso, unsigned modo, bool conNome,
                          const std::function<std::string()>& nomeNuovo, const std::filesystem::path& perErrori)
{
    Temporaneo t;
    if (!conNome) {
        t.file.reset(::openat(base, cartella.c_str(), O_TMPFILE | accesso | O_CLOEXEC, static_cast<mode_t>(modo)));
        if (t.file.valido())
            return t;
        // Only a system or file system without unnamed files falls back to
        // a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw ErroreRuntime::daErrno(errno, perErrori);
    }
    for (int tentativo = 0;; ++tentativo) {
        const std::string nome = nomeNuovo();
        const std::string percorso = cartella + '/' + nome;
        t.file.reset(::openat(base, percorso.c_str(), O_CREAT | O_EXCL | accesso | O_CLOEXEC, static_cast<mode_t>(modo)));
        if (t.file.valido()) {
            t.nome = nome;
            return t;
        }
        if (errno != EEXIST || tentativo == 100)
            throw ErroreRuntime::daErrno(errno, perErrori);
    }
}

FileTemporaneo::FileTemporaneo(const std::filesystem::path& cartella)
    : cartella_(cartella), file_(std::make_unique<File>())
{
    const std::string& percorso = cartella.native();
    const auto nomeNuovo = [] {
        static constexpr char cifre[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string nome(prefissoNome);
        for (int i = 0; i < 6; ++i)
            nome += cifre[casuale() % (sizeof cifre - 1)];
        return nome;
    };
    Temporaneo t = apriTemporaneo(AT_FDCWD, percorso, O_RDWR, 0600, false, nomeNuovo, cartella_);
    if (!t.nome.empty())
        ::unlink((percorso + '/' + t.nome).c_str());
    file_->descrittore = std::move(t.file);
}

FileTemporaneo::~FileTemporaneo() = default;

void FileTemporaneo::scrivi(const char* dati, std::size_t n)
{
    const Trasferiti t = scriviTutto(file_->descrittore.get(), dati, n);
    if (t.errore != 0)
        throw ErroreRuntime::daErrno(t.errore, cartella_);
    if (t.byte < n)
        throw ErroreRuntime(CodiceErrore::DiscoPieno, cartella_);
}

std::size_t FileTemporaneo::leggi(std::uint64_t da, char* dati, std::size_t n)
{
    const Trasferiti t = leggiTutto(file_->descrittore.get(), dati, n, static_cast<std::int64_t>(da));
    if (t.errore != 0)
        throw ErroreRuntime::daErrno(t.errore, cartella_);
    return t.byte;
}

}  // namespace sistema
