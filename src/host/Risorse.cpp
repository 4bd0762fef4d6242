#include "host/Risorse.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace host {

namespace {

constexpr std::uint64_t illimitata = std::numeric_limits<std::uint64_t>::max();
constexpr unsigned processoriMassimi = 16;

// The folder of this process's control group (cgroup v2), or "" without one.
std::string cartellaGruppo()
{
    std::ifstream f("/proc/self/cgroup");
    std::string riga;
    while (std::getline(f, riga))
        if (riga.starts_with("0::"))
            return "/sys/fs/cgroup" + riga.substr(3);
    return {};
}

// Calls f(folder) for this process's control group and each one above it,
// since each may set a limit.
template <class F>
void perOgniGruppo(F&& f)
{
    const std::string radice = "/sys/fs/cgroup";
    for (std::string gruppo = cartellaGruppo(); gruppo.size() > radice.size();
         gruppo.erase(gruppo.find_last_of('/')))
        f(gruppo);
}

// The first number of a one-line file, or `altrimenti` ("max", missing).
std::uint64_t numeroDa(const std::string& percorso, std::uint64_t altrimenti)
{
    std::ifstream f(percorso);
    std::uint64_t n = 0;
    if (f >> n)
        return n;
    return altrimenti;
}

std::uint64_t limite(int risorsa)
{
    rlimit r{};
    if (::getrlimit(risorsa, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return illimitata;
    return r.rlim_cur;
}

std::uint64_t sottrai(std::uint64_t limite, std::uint64_t usata)
{
    return limite == illimitata ? illimitata : (limite > usata ? limite - usata : 0);
}

}  // namespace

std::size_t memoriaDisponibile()
{
    std::uint64_t spazio = illimitata;
    const std::uint64_t pagina = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    // /proc/self/statm: total address space, resident, shared, text, lib,
    // data (+ stack), dirty; in pages.
    std::uint64_t indirizzi = 0, residente = 0, condivisa = 0, testo = 0, librerie = 0, dati = 0;
    {
        std::ifstream statm("/proc/self/statm");
        statm >> indirizzi >> residente >> condivisa >> testo >> librerie >> dati;
    }
    spazio = std::min(spazio, sottrai(limite(RLIMIT_AS), indirizzi * pagina));
    spazio = std::min(spazio, sottrai(limite(RLIMIT_DATA), dati * pagina));

    perOgniGruppo([&](const std::string& gruppo) {
        const std::uint64_t massimo = numeroDa(gruppo + "/memory.max", illimitata);
        if (massimo != illimitata)
            spazio = std::min(spazio, sottrai(massimo, numeroDa(gruppo + "/memory.current", 0)));
    });

    std::uint64_t disponibile = 0;
    {
        std::ifstream meminfo("/proc/meminfo");
        std::string nome;
        std::uint64_t kib = 0;
        std::string unita;
        while (meminfo >> nome >> kib) {
            std::getline(meminfo, unita);
            if (nome == "MemAvailable:") {
                disponibile = kib * 1024;
                break;
            }
        }
    }
    if (disponibile == 0)
        disponibile = static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) * pagina;
    spazio = std::min(spazio, disponibile / 2);
    return static_cast<std::size_t>(std::min<std::uint64_t>(spazio, std::numeric_limits<std::size_t>::max()));
}

std::size_t descrittoriDisponibili()
{
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max() / 2;
    std::size_t aperti = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* v = ::readdir(d))
            if (v->d_name[0] != '.')
                ++aperti;
        ::closedir(d);
        aperti = aperti > 0 ? aperti - 1 : 0;  // the folder's own
    }
    return r.rlim_cur > aperti ? static_cast<std::size_t>(r.rlim_cur - aperti) : 0;
}

unsigned processoriDisponibili()
{
    unsigned n = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t insieme;
    CPU_ZERO(&insieme);
    if (::sched_getaffinity(0, sizeof insieme, &insieme) == 0)
        n = std::max(1, CPU_COUNT(&insieme));
    // cpu.max: "QUOTA PERIOD" or "max PERIOD", in each group on the way up.
    perOgniGruppo([&](const std::string& gruppo) {
        std::ifstream f(gruppo + "/cpu.max");
        std::uint64_t quota = 0, periodo = 0;
        if (f >> quota >> periodo && periodo != 0)
            n = std::min<unsigned>(n, static_cast<unsigned>(std::max<std::uint64_t>(1, (quota + periodo - 1) / periodo)));
    });
    return std::min(n, processoriMassimi);
}

}  // namespace host
