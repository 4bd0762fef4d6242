#include "sistema/Risorse.h"

#include "RisorseWin.h"
#include "Win.h"

#include <psapi.h>

#include <algorithm>
#include <bit>
#include <limits>
#include <thread>
#include <vector>

namespace sistema {

namespace {

constexpr unsigned processoriMassimi = 16;

std::uint64_t sottrai(std::uint64_t limite, std::uint64_t usata)
{
    return limite == senzaLimite ? senzaLimite : (limite > usata ? limite - usata : 0);
}

}  // namespace

namespace win32 {

LettureMemoria leggiMemoria()
{
    LettureMemoria l;
    MEMORYSTATUSEX stato {};
    stato.dwLength = sizeof stato;
    if (::GlobalMemoryStatusEx(&stato)) {
        l.fisica = stato.ullTotalPhys;
        l.disponibile = stato.ullAvailPhys;
        l.indirizzi = stato.ullTotalVirtual;
        l.indirizziLiberi = stato.ullAvailVirtual;
    }
    // A process in a job with a memory limit: asking with no job handle
    // answers for the job the process is in.
    BOOL inLavoro = FALSE;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION lavoro {};
    if (::IsProcessInJob(::GetCurrentProcess(), nullptr, &inLavoro) && inLavoro &&
        ::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &lavoro, sizeof lavoro, nullptr)) {
        const DWORD bandiere = lavoro.BasicLimitInformation.LimitFlags;
        if ((bandiere & JOB_OBJECT_LIMIT_PROCESS_MEMORY) != 0)
            l.limiteProcesso = lavoro.ProcessMemoryLimit;
        if ((bandiere & JOB_OBJECT_LIMIT_JOB_MEMORY) != 0) {
            l.limiteLavoro = lavoro.JobMemoryLimit;
            l.usataLavoro = lavoro.PeakJobMemoryUsed;
        }
    }
    PROCESS_MEMORY_COUNTERS_EX contatori {};
    contatori.cb = sizeof contatori;
    if (::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&contatori),
                                  sizeof contatori))
        l.usataProcesso = contatori.PrivateUsage;
    return l;
}

Limiti limitiDa(const LettureMemoria& letture)
{
    Limiti limiti;
    limiti.indirizziUsati = letture.indirizzi > letture.indirizziLiberi ? letture.indirizzi - letture.indirizziLiberi : 0;
    limiti.gruppi = std::min(sottrai(letture.limiteProcesso, letture.usataProcesso),
                             sottrai(letture.limiteLavoro, letture.usataLavoro));
    limiti.disponibile = letture.disponibile;
    return limiti;
}

std::uint64_t memoriaDaLetture(const LettureMemoria& letture)
{
    return memoriaDa(limitiDa(letture), letture.indirizzi != 0 ? letture.indirizzi : senzaLimite, senzaLimite,
                     letture.fisica);
}

}  // namespace win32

Limiti leggiLimiti(const std::string&)
{
    return win32::limitiDa(win32::leggiMemoria());
}

std::uint64_t memoriaDa(const Limiti& letti, std::uint64_t limiteIndirizzi, std::uint64_t limiteDati,
                        std::uint64_t fisica)
{
    return std::min({sottrai(limiteIndirizzi, letti.indirizziUsati), sottrai(limiteDati, letti.datiUsati),
                     letti.gruppi, (letti.disponibile != 0 ? letti.disponibile : fisica) / 2});
}

std::size_t memoriaDisponibile()
{
    const std::uint64_t spazio = win32::memoriaDaLetture(win32::leggiMemoria());
    return static_cast<std::size_t>(std::min<std::uint64_t>(spazio, std::numeric_limits<std::size_t>::max()));
}

std::size_t byteCacheProcessore()
{
    constexpr std::size_t base = std::size_t{2} << 20;
    DWORD byte = 0;
    ::GetLogicalProcessorInformationEx(RelationCache, nullptr, &byte);
    if (byte == 0)
        return base;
    std::vector<char> dati(byte);
    if (!::GetLogicalProcessorInformationEx(RelationCache,
                                            reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(dati.data()),
                                            &byte))
        return base;
    std::size_t n = 0;
    for (DWORD da = 0; da < byte;) {
        const auto* voce = reinterpret_cast<const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(dati.data() + da);
        if (voce->Size == 0)
            break;
        if (voce->Relationship == RelationCache && voce->Cache.Level == 2 &&
            (voce->Cache.Type == CacheUnified || voce->Cache.Type == CacheData)) {
            n = voce->Cache.CacheSize;
            break;
        }
        da += voce->Size;
    }
    if (n == 0)
        return base;
    // Within what a cache of today may be: a bad reading does not make the
    // buckets absurd.
    return std::clamp<std::size_t>(n, std::size_t{256} << 10, std::size_t{32} << 20);
}

unsigned processoriDisponibili()
{
    unsigned n = std::max(1u, std::thread::hardware_concurrency());
    DWORD_PTR processo = 0;
    DWORD_PTR sistema = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &processo, &sistema) && processo != 0)
        n = std::min<unsigned>(n, static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(processo))));
    return std::min(n, processoriMassimi);
}

std::size_t descrittoriDisponibili()
{
    // Windows has no small limit on open files: the handles of a process
    // run to millions.
    return std::numeric_limits<std::size_t>::max();
}

}  // namespace sistema
