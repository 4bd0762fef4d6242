// libFuzzer target for the whole run against the plain reference: the same
// count of dropped items and the same bytes of the copy, on any input.
#include "oracolo/Oracolo.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t dimensione)
{
    const std::string_view testo(reinterpret_cast<const char*>(dati), dimensione);
    // UTF-16 input is decoded by the reader, which the reference does not
    // do; the reader's fuzz target covers it.
    if (testo.size() >= 2 && testo.size() % 2 == 0 &&
        (testo.starts_with("\xFF\xFE") || testo.starts_with("\xFE\xFF")))
        return 0;
    const oracolo::Esito atteso = oracolo::esegui(testo);
    const oracolo::Esito ottenuto = oracolo::reale(testo);
    if (ottenuto.letti != atteso.letti || ottenuto.eliminate != atteso.eliminate ||
        ottenuto.copia != atteso.copia || ottenuto.byte != atteso.byte)
        std::abort();
    return 0;
}
