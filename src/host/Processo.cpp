#include "host/Processo.h"

#include <csignal>
#include <cstddef>

#include <malloc.h>
#include <pthread.h>

namespace host {

void preparaProcesso()
{
    // Past a file-size limit a write fails with EFBIG, a full disk, instead
    // of the signal ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // Large blocks (the file's bytes, the lists of items) always come from
    // and go back to the system: otherwise the allocator raises its
    // threshold after the first large block is freed and keeps the memory
    // of a run long after the run has ended.
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

}  // namespace host
