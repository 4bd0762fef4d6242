#include "InterfacciaWin.h"

#include "Attesa.h"
#include "Messaggio.h"

namespace win32 {

void InterfacciaWin::messaggio(std::string_view testo, passi::Icona icona)
{
    mostraMessaggio(testo, icona == passi::Icona::Avviso ? Icona::Avviso : Icona::Errore);
}

void InterfacciaWin::attendi(std::string_view testo, const std::function<void()>& lavoro)
{
    win32::attendi(finestra_, testo, lavoro);
}

}  // namespace win32
