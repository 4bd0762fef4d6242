// libFuzzer target for the item reader and the text encodings: no input may
// crash them, and their promises must hold on any bytes.
#include "host/CampiTesto.h"
#include "host/Codifica.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void verifica(bool condizione)
{
    if (!condizione)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t dimensione)
{
    const std::string_view testo(reinterpret_cast<const char*>(dati), dimensione);

    // Fields never hold a line end; reading in parts cut at line ends gives
    // the very same fields as reading the whole.
    host::CampiTesto intero(testo);
    std::vector<std::string> campi;
    while (!intero.fine()) {
        const std::string_view c = intero.prossimo();
        verifica(c.find_first_of("\r\n") == std::string_view::npos);
        campi.emplace_back(c);
    }
    for (std::size_t quante = 2; quante <= 4; ++quante) {
        std::vector<host::CampiTesto> parti = host::CampiTesto(testo).sezioni(quante);
        std::size_t i = 0;
        for (auto& p : parti)
            while (!p.fine())
                verifica(i < campi.size() && p.prossimo() == campi[i++]);
        verifica(i == campi.size());
    }

    // UTF-16 survives the trip through UTF-8 unchanged, damaged or not.
    const std::string_view pari = testo.substr(0, dimensione & ~std::size_t{1});
    for (const bool bigEndian : {false, true}) {
        const std::string utf8 = host::daUtf16(pari, bigEndian);
        std::string ritorno(2 * utf8.size(), '\0');
        ritorno.resize(host::aUtf16(utf8, bigEndian, ritorno.data()));
        verifica(ritorno == pari);
        // Any cut point keeps whole sequences.
        const std::size_t taglio = host::taglioUtf8(utf8, dimensione % (utf8.size() + 1));
        verifica(taglio <= utf8.size());
    }
    // Encoding arbitrary bytes never writes past twice their length.
    std::string uscita(2 * testo.size(), '\0');
    verifica(host::aUtf16(testo, false, uscita.data()) <= uscita.size());
    return 0;
}
