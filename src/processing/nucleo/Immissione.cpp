#include "processing/nucleo/Immissione.h"

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
    const std::uint64_t h = hashDi(voce);
    Coda& coda = perParte_[parteDi(h, perParte_.size())];
    if (coda.quante == coda.capienza && !cresci(coda)) [[unlikely]] {
        sospesa_ = true;
        arrivoSospeso_ = {h, voce.data(), voce.size()};
        return false;
    }
    coda.arrivi[coda.quante++] = {h, voce.data(), voce.size()};
    ++quante_;
    return true;
}

bool Immissione::riprendi()
{
    if (!sospesa_)
        return true;
    Coda& coda = perParte_[parteDi(arrivoSospeso_.hash, perParte_.size())];
    if (coda.quante == coda.capienza)
        return false;
    coda.arrivi[coda.quante++] = arrivoSospeso_;
    ++quante_;
    sospesa_ = false;
    return true;
}

void Immissione::dimensiona(std::size_t parti, std::size_t attese)
{
    perParte_.resize(parti);
    for (Coda& coda : perParte_) {
        coda.quante = 0;
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
        coda.quante = 0;
    quante_ = 0;
}

void Immissione::libera() noexcept
{
    for (Coda& coda : perParte_)
        bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
    perParte_.clear();
}

}  // namespace nucleo
