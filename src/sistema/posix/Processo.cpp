#include "sistema/Processo.h"

#include "Segnali.h"


#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

namespace sistema {

namespace {

// The file a signal removes: set while `nominato` is false, and read by the
// handler only while it is true. Lock-free, so that the handler may read it
// on any thread.
std::mutex mutex;
std::atomic<bool> nominato{false};
static_assert(std::atomic<bool>::is_always_lock_free);
int cartellaDaRimuovere = -1;
char nomeDaRimuovere[NAME_MAX + 1];

extern "C" void gestoreFine(int segnale)
{
    const int errnoSalvato = errno;
    if (nominato.load(std::memory_order_acquire))
        ::unlinkat(cartellaDaRimuovere, nomeDaRimuovere, 0);
    // The default action, delivered once the handler returns: the process
    // ends by the signal as it would have.
    struct sigaction predefinita {};
    predefinita.sa_handler = SIG_DFL;
    sigemptyset(&predefinita.sa_mask);
    ::sigaction(segnale, &predefinita, nullptr);
    ::raise(segnale);
    errno = errnoSalvato;
}

// Sets `azione` for `segnale` only where its action is the default one.
void seDefault(int segnale, void (*azione)(int), int flag)
{
    struct sigaction attuale {};
    if (::sigaction(segnale, nullptr, &attuale) != 0 || (attuale.sa_flags & SA_SIGINFO) != 0 ||
        attuale.sa_handler != SIG_DFL)
        return;
    struct sigaction nuova {};
    nuova.sa_handler = azione;
    sigemptyset(&nuova.sa_mask);
    nuova.sa_flags = flag;
    ::sigaction(segnale, &nuova, nullptr);
}

}  // namespace

void preparaProcesso()
{
    static std::atomic<bool> fatto{false};
    if (fatto.exchange(true))
        return;
    // Past a file-size limit a write fails with EFBIG, a full disk, instead
    // of the signal ending the process.
    seDefault(SIGXFSZ, SIG_IGN, 0);
    for (const int segnale : {SIGTERM, SIGINT, SIGHUP})
        seDefault(segnale, gestoreFine, SA_RESTART);
    // A file that shrinks under a mapped piece of it: the bytes lost read
    // as zeros and the reader reports the error (LettoreVoci).
    struct sigaction bus {};
    if (::sigaction(SIGBUS, nullptr, &bus) == 0 && (bus.sa_flags & SA_SIGINFO) == 0 && bus.sa_handler == SIG_DFL) {
        bus.sa_sigaction = gestoreFinestre;
        sigemptyset(&bus.sa_mask);
        bus.sa_flags = SA_SIGINFO;
        ::sigaction(SIGBUS, &bus, nullptr);
    }
    // Large blocks (the file's bytes, the lists of items) always come from
    // and go back to the system: otherwise the allocator raises its
    // threshold after the first large block is freed and keeps the memory
    // of a run long after the run has ended. The run's budget counts each
    // such block by its pages (Bilancio::costo).
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // Under an address-space limit every thread counts: each malloc arena
    // reserves 64 MiB of it and each stack 8 MiB by default. The run's
    // threads share the main arena (their large blocks come from the system
    // anyway) and get stacks of 1 MiB, far more than they use.
    mallopt(M_ARENA_MAX, 1);
    pthread_attr_t attributi;
    if (pthread_attr_init(&attributi) == 0) {
        pthread_attr_setstacksize(&attributi, std::size_t{1} << 20);
        pthread_setattr_default_np(&attributi);
        pthread_attr_destroy(&attributi);
    }
}

bool rimuoviSuSegnale(int cartella, const std::string& nome)
{
    const std::lock_guard blocco(mutex);
    if (nominato.load(std::memory_order_relaxed) || nome.size() >= sizeof nomeDaRimuovere)
        return false;
    std::memcpy(nomeDaRimuovere, nome.c_str(), nome.size() + 1);
    cartellaDaRimuovere = cartella;
    nominato.store(true, std::memory_order_release);
    return true;
}

void nonRimuovereSuSegnale(int cartella, const std::string& nome)
{
    const std::lock_guard blocco(mutex);
    if (nominato.load(std::memory_order_relaxed) && cartellaDaRimuovere == cartella && nome == nomeDaRimuovere)
        nominato.store(false, std::memory_order_release);
}

}  // namespace sistema
