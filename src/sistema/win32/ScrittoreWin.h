#pragma once

// The Windows writer's steps, each of which a test can make fail as the
// system would, to check that an earlier copy survives every one of them.
#include "Win.h"

namespace sistema::win32 {

enum class PassoScrittura { Nessuno, Crea, Scrivi, Svuota, Chiudi, Sposta };

// The next writers fail at `passo` with the Windows error `codice`, until
// told Nessuno. For tests.
void guastoAlPasso(PassoScrittura passo, DWORD codice = ERROR_DISK_FULL) noexcept;

// A name the writers give their temporary files, or a run's file: the next
// writer in that folder removes those nobody holds and nobody has changed
// for a minute.
bool temporaneoDelProgramma(std::wstring_view nome) noexcept;

}  // namespace sistema::win32
