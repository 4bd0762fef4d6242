#include "nucleo/Immissione.h"

#include "Verifica.h"
#include "Voci.h"

#include <algorithm>
#include <cstring>

namespace nucleo {


namespace {

// The least a round list holds, taken whatever the budget: a reader must
// always be able to give some items.
constexpr std::size_t arriviMinimi = 64;

}  // namespace

bool Immissione::cresci(Coda& coda)
{
    const std::size_t nuova = std::max(coda.capienza * 2, arriviMinimi);
    auto* arrivi = static_cast<Arrivo*>(bilancio_->alloca(nuova * sizeof(Arrivo)));
    if (arrivi == nullptr)
        return false;
    if (coda.quante != 0)
        std::memcpy(static_cast<void*>(arrivi), coda.arrivi, coda.quante * sizeof(Arrivo));
    bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
    coda.arrivi = arrivi;
    coda.capienza = nuova;
    return true;
}

bool Immissione::aggiungi(std::string_view voce)
{
    Arrivo arrivo;
    std::size_t p = 0;
    const bool lunga = voce.size() > byteChiave;
    if (!lunga) {
        Voce v{{0, 0}, std::uint64_t{voce.size()} << 48};
        chiaviBrevi(voce.data(), voce.size(), v.chiave[0], v.chiave[1]);
        FENDRIX_VERIFICA(chiaviDi(v, voce.data(), voce.size()));
        // With several parts the hash chooses the part, and its top 48
        // bits go with the item, below its length, for the part's table
        // (an empty item carries none: its length word would read as a
        // long item's length).
        std::uint64_t portato = 0;
        if (perParte_.size() > 1) {
            const std::uint64_t h = hashBreve(v);
            p = parteDi(h, perParte_.size());
            portato = voce.empty() ? 0 : h >> 16;
        }
        arrivo = {{v.chiave[0], v.chiave[1], v.resto | portato}};
    } else {
        const std::uint64_t h = hashDi(voce);
        arrivo = Arrivo::lunga(h, voce);
        p = parteDi(h, perParte_.size());
    }
    // The length word alone tells a long item from a short one.
    FENDRIX_VERIFICA(arrivo.eLunga() == lunga);
    FENDRIX_VERIFICA(p < perParte_.size());
    Coda& coda = perParte_[p];
    if (coda.quante == coda.capienza && !cresci(coda)) [[unlikely]] {
        sospesa_ = true;
        arrivoSospeso_ = arrivo;
        parteSospesa_ = p;
        return false;
    }
    coda.arrivi[coda.quante++] = arrivo;
    coda.lunghe += lunga;
    ++quante_;
    return true;
}

bool Immissione::riprendi()
{
    if (!sospesa_)
        return true;
    Coda& coda = perParte_[parteSospesa_];
    if (coda.quante == coda.capienza)
        return false;
    coda.arrivi[coda.quante++] = arrivoSospeso_;
    coda.lunghe += arrivoSospeso_.eLunga();
    ++quante_;
    sospesa_ = false;
    return true;
}

void Immissione::dimensiona(std::size_t parti, std::size_t attese)
{
    perParte_.resize(parti);
    for (Coda& coda : perParte_) {
        coda.quante = 0;
        coda.lunghe = 0;
        // A list that a dense piece made far larger than a round needs gives
        // its memory back: the parts' tables and a long field may need it.
        if (coda.capienza > 8 * std::max(attese, arriviMinimi)) {
            bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
            coda.arrivi = nullptr;
            coda.capienza = 0;
        }
        if (coda.capienza == 0) {
            coda.arrivi = static_cast<Arrivo*>(bilancio_->allocaComunque(arriviMinimi * sizeof(Arrivo)));
            coda.capienza = arriviMinimi;
        }
        // Room for the round at once where the budget allows: growing by
        // doubling from nothing faults in every page twice over.
        if (coda.capienza < attese) {
            auto* arrivi = static_cast<Arrivo*>(bilancio_->alloca(attese * sizeof(Arrivo)));
            if (arrivi != nullptr) {
                bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
                coda.arrivi = arrivi;
                coda.capienza = attese;
            }
        }
    }
    quante_ = 0;
    sospesa_ = false;
}

void Immissione::svuota() noexcept
{
    for (Coda& coda : perParte_)
        coda.quante = coda.lunghe = 0;
    quante_ = 0;
}

void Immissione::libera() noexcept
{
    for (Coda& coda : perParte_)
        bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
    perParte_.clear();
}

}  // namespace nucleo
