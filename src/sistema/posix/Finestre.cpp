#include "Finestre.h"

#include "sistema/Processo.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sistema {

// The windows mapped by all readers, where the SIGBUS handler finds them:
// a file that shrinks under a mapping makes its lost pages fault, and the
// handler puts a page of zeros there and marks the window, instead of the
// process ending. Lock-free, so that the handler may read it on any thread.
// The handler is the process's, installed once at start (preparaProcesso);
// where it is not in place, pieces are read into the buffers instead.
namespace finestre {

const std::uintptr_t pagina = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));

namespace {
constexpr int posti = 32;
std::atomic<std::uintptr_t> inizio[posti];
std::atomic<std::uintptr_t> fine[posti];
std::atomic<bool> colpite[posti];
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
bool occupato[posti];
std::mutex mutex;

}  // namespace

// Whether the process's SIGBUS action is the handler below.
bool protette() noexcept
{
    struct sigaction attuale {};
    return ::sigaction(SIGBUS, nullptr, &attuale) == 0 && (attuale.sa_flags & SA_SIGINFO) != 0 &&
           attuale.sa_sigaction == gestoreFinestre;
}

// A place for the window [base, base + byte); -1 when all places are taken.
int registra(const char* base, std::size_t byte)
{
    const std::lock_guard blocco(mutex);
    for (int i = 0; i < posti; ++i) {
        if (occupato[i])
            continue;
        occupato[i] = true;
        colpite[i].store(false);
        inizio[i].store(reinterpret_cast<std::uintptr_t>(base));
        fine[i].store(reinterpret_cast<std::uintptr_t>(base) + byte);
        return i;
    }
    return -1;
}

// Frees the place; true if the file shrank under its window.
bool cancella(int i) noexcept
{
    const std::lock_guard blocco(mutex);
    fine[i].store(0);
    inizio[i].store(0);
    occupato[i] = false;
    return colpite[i].load();
}
bool colpita(int i) noexcept
{
    return colpite[i].load();
}

}  // namespace finestre

void gestoreFinestre(int segnale, siginfo_t* info, void*)
{
    const int errnoSalvato = errno;
    const auto a = reinterpret_cast<std::uintptr_t>(info->si_addr);
    // Only a fault (not a signal someone sent) in a window: its end is set
    // last and cleared first, so a window being set or cleared is skipped.
    // The page of zeros comes from the system call itself, which keeps no
    // state of the library's.
    for (int i = 0; i < finestre::posti && info->si_code > 0; ++i) {
        const std::uintptr_t f = finestre::fine[i].load();
        const std::uintptr_t d = finestre::inizio[i].load();
        if (d != 0 && a >= d && a < f) {
            const long m = ::syscall(SYS_mmap, a & ~(finestre::pagina - 1), finestre::pagina, PROT_READ,
                                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (m != -1) {
                finestre::colpite[i].store(true);
                errno = errnoSalvato;
                return;
            }
        }
    }
    // Not a window's: the default action, as if this handler had never been
    // there (it is installed only over the default one). A fault comes again
    // once the handler returns; a signal someone sent is raised again.
    struct sigaction predefinita {};
    predefinita.sa_handler = SIG_DFL;
    sigemptyset(&predefinita.sa_mask);
    ::sigaction(segnale, &predefinita, nullptr);
    if (info->si_code <= 0)
        ::raise(segnale);
    errno = errnoSalvato;
}

}  // namespace sistema
