#include "stato/Variabili.h"

#include "sistema/Percorsi.h"

namespace stato {

std::filesystem::path NomeDaPercorso(const std::filesystem::path& percorso)
{
    const auto& testo = percorso.native();
    const auto taglio = testo.rfind(std::filesystem::path::preferred_separator);
    return sistema::maiuscolo(taglio == testo.npos ? testo : testo.substr(taglio + 1));
}

}  // namespace stato
