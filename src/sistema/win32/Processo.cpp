#include "sistema/Processo.h"

#include "Win.h"

namespace sistema {

void preparaProcesso()
{
    // A drive without a disk in it or a failing device is reported to the
    // program as an error, never by a dialog of the system's that stops
    // the run until someone answers it.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace sistema
