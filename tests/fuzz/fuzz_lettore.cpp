// libFuzzer target for the item reader and the text encodings: no input may
// crash them, the scanner reads the same items as the reference's own
// reader, and their promises must hold on any bytes.
#include "testo/CampiTesto.h"
#include "testo/Codifica.h"
#include "oracolo/Oracolo.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
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

    // The items, as the program takes them from the fields, are the
    // reference's; fields never hold a line end.
    const auto voci = [](std::string_view t) {
        std::vector<std::string> voci;
        testo::CampiTesto campi(t);
        while (!campi.fine())
            if (const std::string_view c = campi.prossimo(); !c.empty())
                voci.emplace_back(testo::CampiTesto::senzaSpazi(c));
        return voci;
    };
    const std::vector<std::string> attese = oracolo::voci(testo);
    verifica(voci(testo) == attese);

    // Reading in parts cut at line ends gives the very same fields as
    // reading the whole.
    testo::CampiTesto intero(testo);
    std::vector<std::string> campi;
    while (!intero.fine()) {
        const std::string_view c = intero.prossimo();
        verifica(c.find_first_of("\r\n") == std::string_view::npos);
        campi.emplace_back(c);
    }
    for (std::size_t quante = 2; quante <= 4; ++quante) {
        std::vector<testo::CampiTesto> parti = testo::CampiTesto(testo).sezioni(quante);
        std::size_t i = 0;
        for (auto& p : parti)
            while (!p.fine())
                verifica(i < campi.size() && p.prossimo() == campi[i++]);
        verifica(i == campi.size());
    }

    // A prefix cut where taglio() says can be read on its own: its items and
    // those of the rest are the whole text's.
    const std::size_t taglio = testo::CampiTesto::taglio(testo.substr(0, dimensione / 2 + dimensione % 7));
    std::vector<std::string> aTratti = voci(testo.substr(0, taglio));
    for (std::string& v : voci(testo.substr(taglio)))
        aTratti.push_back(std::move(v));
    verifica(aTratti == attese);

    // UTF-16 survives the trip through UTF-8 unchanged, damaged or not.
    const std::string_view pari = testo.substr(0, dimensione & ~std::size_t{1});
    for (const bool bigEndian : {false, true}) {
        const std::string utf8 = testo::daUtf16(pari, bigEndian);
        std::string ritorno(2 * utf8.size(), '\0');
        ritorno.resize(testo::aUtf16(utf8, bigEndian, ritorno.data()));
        verifica(ritorno == pari);
        // Any cut point keeps whole sequences.
        verifica(testo::taglioUtf8(utf8, dimensione % (utf8.size() + 1)) <= utf8.size());
    }
    // Encoding arbitrary bytes never writes past twice their length.
    std::string uscita(2 * testo.size(), '\0');
    verifica(testo::aUtf16(testo, false, uscita.data()) <= uscita.size());
    return 0;
}
