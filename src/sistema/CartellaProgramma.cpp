#include "sistema/CartellaProgramma.h"

#include "Interno.h"
#include "sistema/Percorsi.h"

namespace sistema {

namespace {
std::filesystem::path& cartellaImposta()
{
    static std::filesystem::path cartella;
    return cartella;
}
}  // namespace

std::filesystem::path cartellaProgramma()
{
    return cartellaPulita(cartellaImposta().empty() ? interno::cartellaEseguibile() : cartellaImposta());
}

void impostaCartellaProgramma(const std::filesystem::path& cartella)
{
    cartellaImposta() = cartella;
}

std::filesystem::path cartellaDati()
{
    return cartellaProgramma() / "Shared" / "Sistemi" / "";
}

}  // namespace sistema
