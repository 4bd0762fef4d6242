#include "Messaggio.h"

#include "Finestre.h"

#include <cstdlib>

namespace win32 {

namespace {

// The window the message belongs to: the one the user is working in, so
// that it waits for the message, or none before the first window shows.
HWND proprietario()
{
    const HWND attiva = ::GetActiveWindow();
    return attiva != nullptr ? attiva : ::GetForegroundWindow();
}

}  // namespace

void mostraMessaggio(std::string_view testo, Icona icona)
{
    HWND sopra = proprietario();
    DWORD processo = 0;
    if (sopra != nullptr && (::GetWindowThreadProcessId(sopra, &processo), processo != ::GetCurrentProcessId()))
        sopra = nullptr;
    const UINT stile = MB_OK | (icona == Icona::Avviso ? MB_ICONWARNING : MB_ICONERROR) |
                       (sopra == nullptr ? MB_TASKMODAL | MB_SETFOREGROUND : 0);
    // The plain arrow over the message, even in the middle of a busy run.
    const bool eraOccupato = occupato;
    occupato = false;
    ::MessageBoxW(sopra, daUtf8(testo).c_str(), L"Fendrix", stile);
    occupato = eraOccupato;
}

void terminaPerErrore(const sistema::ErroreRuntime& errore)
{
    occupato = false;
    mostraMessaggio(errore.descrizione(), Icona::Errore);
    // Nothing is left to clean up (the handler's stack has already unwound);
    // the windows go with the process.
    std::_Exit(errore.numero());
}

}  // namespace win32
