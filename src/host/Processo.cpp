#include "host/Processo.h"

#include <csignal>  // first: it tells whether this is the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace host {

void preparaProcesso()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#if defined(__GLIBC__)
    // Large blocks (the file's bytes, the lists of items) always come from
    // and go back to the system: otherwise the allocator raises its
    // threshold after the first large block is freed and keeps the memory
    // of a run long after the run has ended.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace host
