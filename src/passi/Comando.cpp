#include "passi/Comando.h"

#include "passi/EliminaDuplicati.h"
#include "stato/Variabili.h"

namespace passi {

void comandoDuplicati(const std::function<void()>& mostraSelezione, Interfaccia& interfaccia)
{
    Variabili::ModoSelezione = 1;
    Variabili::Filtro = "*.TXT";
    mostraSelezione();
    Variabili::FileDaElaborare = Variabili::PercorsoScelto;
    if (!Variabili::FileDaElaborare.empty())
        EliminaDuplicati(interfaccia);
}

void selezioneAperta()
{
    Variabili::PercorsoScelto.clear();
}

std::filesystem::path fileScelto(const std::filesystem::path& cartella, const std::filesystem::path& nome)
{
    std::filesystem::path::string_type percorso = cartella.native();
    if (percorso.empty() || percorso.back() != std::filesystem::path::preferred_separator)
        percorso += std::filesystem::path::preferred_separator;
    percorso += nome.native();
    Variabili::PercorsoScelto = std::move(percorso);
    return Variabili::NomeDaPercorso(Variabili::PercorsoScelto);
}

void selezioneChiusa(bool dallUtente)
{
    if (dallUtente) {
        Variabili::PercorsoScelto.clear();
        Variabili::ModoSelezione = 0;
    }
}

}  // namespace passi
