#include "sistema/Risorse.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace sistema {

namespace {

constexpr unsigned processoriMassimi = 16;

// The first number of a one-line file, or `altrimenti` ("max", missing).
std::uint64_t numeroDa(const std::string& percorso, std::uint64_t altrimenti)
{
    std::ifstream f(percorso);
    std::uint64_t n = 0;
    if (f >> n)
        return n;
    return altrimenti;
}

// The value of `chiave` in a file of "key value" lines (memory.stat,
// meminfo), or `altrimenti`.
std::uint64_t voceDi(const std::string& percorso, std::string_view chiave, std::uint64_t altrimenti)
{
    std::ifstream f(percorso);
    std::string nome;
    std::uint64_t n = 0;
    while (f >> nome >> n) {
        if (nome == chiave)
            return n;
        f.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return altrimenti;
}

std::uint64_t sottrai(std::uint64_t limite, std::uint64_t usata)
{
    return limite == senzaLimite ? senzaLimite : (limite > usata ? limite - usata : 0);
}

// The room under a group's limit: the page cache the kernel drops before it
// reclaims anything else is counted as free, or reading a large file would
// leave no room at all.
std::uint64_t stanza(std::uint64_t limite, std::uint64_t usata, std::uint64_t cache)
{
    return sottrai(limite, usata > cache ? usata - cache : 0);
}

bool haVoce(std::string_view lista, std::string_view voce)
{
    while (!lista.empty()) {
        const std::size_t virgola = std::min(lista.find(','), lista.size());
        if (lista.substr(0, virgola) == voce)
            return true;
        lista.remove_prefix(std::min(virgola + 1, lista.size()));
    }
    return false;
}

// mountinfo writes a space, tab, newline and backslash in a path as \ and
// three octal digits.
std::string decodifica(const std::string& s)
{
    std::string d;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::all_of(s.begin() + i + 1, s.begin() + i + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            d += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            d += s[i];
        }
    }
    return d;
}

// Where one hierarchy of control groups is mounted, and the folder of this
// process's group in it (the mount point or a folder below it).
struct Gerarchia {
    std::string punto;
    std::string gruppo;
};

// The v2 hierarchy when `controllore` is empty, else the v1 hierarchy that
// holds that controller: the group's path from /proc/self/cgroup, found
// under a mount of /proc/self/mountinfo whose root holds it.
std::optional<Gerarchia> trovaGerarchia(const std::string& radice, std::string_view controllore)
{
    std::ifstream gruppi(radice + "/proc/self/cgroup");
    std::optional<std::string> percorso;
    // "ID:CONTROLLERS:PATH"; v2's line is "0::PATH".
    for (std::string riga; !percorso && std::getline(gruppi, riga);) {
        const std::size_t a = riga.find(':');
        const std::size_t b = a == std::string::npos ? a : riga.find(':', a + 1);
        if (b == std::string::npos)
            continue;
        const std::string_view controllori = std::string_view(riga).substr(a + 1, b - a - 1);
        if (controllore.empty() ? riga.starts_with("0::") : haVoce(controllori, controllore))
            percorso = riga.substr(b + 1);
    }
    if (!percorso)
        return std::nullopt;

    // "ID PARENT MAJ:MIN ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS"
    std::ifstream montaggi(radice + "/proc/self/mountinfo");
    for (std::string riga; std::getline(montaggi, riga);) {
        std::istringstream in(riga);
        std::vector<std::string> campi;
        for (std::string campo; in >> campo;)
            campi.push_back(campo);
        const auto trattino = std::find(campi.begin(), campi.end(), "-");
        if (trattino - campi.begin() < 6 || campi.end() - trattino < 4)
            continue;
        const std::string& tipo = trattino[1];
        if (controllore.empty() ? tipo != "cgroup2" : (tipo != "cgroup" || !haVoce(trattino[3], controllore)))
            continue;
        // A group below the mount's root is seen at its path less that root;
        // one outside it (a path with "/.." under a namespace) is not seen.
        std::string resto = *percorso;
        const std::string base = decodifica(campi[3]);
        if (base != "/") {
            if (!resto.starts_with(base) || (resto.size() > base.size() && resto[base.size()] != '/'))
                continue;
            resto.erase(0, base.size());
        }
        if (resto.find("/..") != std::string::npos)
            continue;
        while (resto.ends_with('/'))
            resto.pop_back();
        const std::string punto = radice + decodifica(campi[4]);
        return Gerarchia{punto, punto + resto};
    }
    return std::nullopt;
}

// Calls f(folder) for the group and each one above it up to the mount,
// since each may set a limit.
template <class F>
void suPerIlPercorso(const std::optional<Gerarchia>& g, F&& f)
{
    if (!g)
        return;
    for (std::string cartella = g->gruppo;; cartella.erase(cartella.find_last_of('/'))) {
        f(cartella);
        if (cartella.size() <= g->punto.size())
            break;
    }
}

unsigned processoriDaQuota(std::uint64_t quota, std::uint64_t periodo)
{
    return static_cast<unsigned>(std::clamp<std::uint64_t>((quota + periodo - 1) / periodo, 1, 1u << 20));
}

std::uint64_t limite(int risorsa)
{
    rlimit r{};
    if (::getrlimit(risorsa, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return senzaLimite;
    return r.rlim_cur;
}

}  // namespace

Limiti leggiLimiti(const std::string& radice)
{
    Limiti letti;
    const std::uint64_t pagina = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    {
        // statm: total address space, resident, shared, text, lib, data
        // (+ stack), dirty; in pages.
        std::ifstream statm(radice + "/proc/self/statm");
        std::uint64_t indirizzi = 0, residente = 0, condivisa = 0, testo = 0, librerie = 0, dati = 0;
        if (statm >> indirizzi >> residente >> condivisa >> testo >> librerie >> dati) {
            letti.indirizziUsati = indirizzi * pagina;
            letti.datiUsati = dati * pagina;
        }
    }
    letti.disponibile = voceDi(radice + "/proc/meminfo", "MemAvailable:", 0) * 1024;

    const auto piu = [&letti](std::uint64_t s) { letti.gruppi = std::min(letti.gruppi, s); };
    const auto quota = [&letti](unsigned n) { letti.processori = letti.processori ? std::min(letti.processori, n) : n; };

    const auto v2 = trovaGerarchia(radice, "");
    suPerIlPercorso(v2, [&](const std::string& c) {
        const std::uint64_t massimo = numeroDa(c + "/memory.max", senzaLimite);
        if (massimo != senzaLimite)
            piu(stanza(massimo, numeroDa(c + "/memory.current", 0), voceDi(c + "/memory.stat", "inactive_file", 0)));
        // cpu.max: "QUOTA PERIOD" or "max PERIOD".
        std::ifstream f(c + "/cpu.max");
        std::uint64_t q = 0, periodo = 0;
        if (f >> q >> periodo && periodo != 0)
            quota(processoriDaQuota(q, periodo));
    });

    suPerIlPercorso(trovaGerarchia(radice, "memory"), [&](const std::string& c) {
        // hierarchical_memory_limit is the least limit of the group and the
        // groups above it, those above the mount included. v1 writes "no
        // limit" as a number near 2^63, which leaves room enough.
        const std::string stat = c + "/memory.stat";
        const std::uint64_t massimo = std::min(numeroDa(c + "/memory.limit_in_bytes", senzaLimite),
                                               voceDi(stat, "hierarchical_memory_limit", senzaLimite));
        if (massimo != senzaLimite)
            piu(stanza(massimo, numeroDa(c + "/memory.usage_in_bytes", 0), voceDi(stat, "total_inactive_file", 0)));
    });

    suPerIlPercorso(trovaGerarchia(radice, "cpu"), [&](const std::string& c) {
        // cpu.cfs_quota_us is -1 without a quota.
        std::ifstream f(c + "/cpu.cfs_quota_us");
        std::int64_t q = 0;
        const std::uint64_t periodo = numeroDa(c + "/cpu.cfs_period_us", 0);
        if (f >> q && q > 0 && periodo != 0)
            quota(processoriDaQuota(static_cast<std::uint64_t>(q), periodo));
    });
    return letti;
}

std::uint64_t memoriaDa(const Limiti& letti, std::uint64_t limiteIndirizzi, std::uint64_t limiteDati,
                        std::uint64_t fisica)
{
    return std::min({sottrai(limiteIndirizzi, letti.indirizziUsati), sottrai(limiteDati, letti.datiUsati),
                     letti.gruppi, (letti.disponibile != 0 ? letti.disponibile : fisica) / 2});
}

std::size_t memoriaDisponibile()
{
    const std::uint64_t fisica =
        static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t spazio = memoriaDa(leggiLimiti(""), limite(RLIMIT_AS), limite(RLIMIT_DATA), fisica);
    return static_cast<std::size_t>(std::min<std::uint64_t>(spazio, std::numeric_limits<std::size_t>::max()));
}

std::size_t byteCacheProcessore()
{
    // "2048K": a number and a unit; index2 is the level-2 cache on the
    // systems that have one.
    constexpr std::size_t base = std::size_t{2} << 20;
    std::ifstream f("/sys/devices/system/cpu/cpu0/cache/index2/size");
    std::size_t n = 0;
    char unita = 0;
    if (!(f >> n) || n == 0)
        return base;
    if (f >> unita) {
        if (unita == 'K')
            n <<= 10;
        else if (unita == 'M')
            n <<= 20;
    }
    // Within what a cache of today may be: a bad reading does not make the
    // buckets absurd.
    return std::clamp<std::size_t>(n, std::size_t{256} << 10, std::size_t{32} << 20);
}

unsigned processoriDisponibili()
{
    unsigned n = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t insieme;
    CPU_ZERO(&insieme);
    if (::sched_getaffinity(0, sizeof insieme, &insieme) == 0)
        n = std::max(1, CPU_COUNT(&insieme));
    if (const unsigned quota = leggiLimiti("").processori; quota != 0)
        n = std::min(n, quota);
    return std::min(n, processoriMassimi);
}

std::size_t descrittoriDisponibili()
{
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max();
    rlim_t aperti = 0;
    if (DIR* cartella = ::opendir("/proc/self/fd")) {
        while (const dirent* voce = ::readdir(cartella))
            aperti += voce->d_name[0] != '.';
        ::closedir(cartella);
        aperti -= aperti > 0;  // the folder's own descriptor
    } else {
        // No /proc, or no descriptor left to read it with: each possible
        // descriptor is asked in turn.
        for (rlim_t fd = 0; fd < std::min<rlim_t>(r.rlim_cur, 1 << 16); ++fd)
            aperti += ::fcntl(static_cast<int>(fd), F_GETFD) != -1;
    }
    return static_cast<std::size_t>(r.rlim_cur > aperti ? r.rlim_cur - aperti : 0);
}

}  // namespace sistema
