#include "processing/Nucleo.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace nucleo {

namespace {

// Open-addressing hash set of item positions. A slot holds the position of a
// kept item plus one (0 = empty) in its low bits and the top bits of the
// item's hash in its high bits, so most probes that would compare different
// items are settled without touching the items' bytes.
class InsiemeVoci {
public:
    explicit InsiemeVoci(std::size_t quanti)
        : maschera_(std::bit_ceil(std::max<std::size_t>(quanti + quanti / 2, 16)) - 1),
          celle_(maschera_ + 1, 0)
    {
    }

    // Registers `voce`, found at position `pos` of `voci`, unless an equal
    // item is already registered. Returns true if it was new.
    bool inserisci(const std::vector<std::string_view>& voci, std::string_view voce,
                   std::uint64_t pos)
    {
        const std::uint64_t h = std::hash<std::string_view>{}(voce);
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = h & maschera_;; i = (i + 1) & maschera_) {
            const std::uint64_t cella = celle_[i];
            if (cella == 0) {
                celle_[i] = impronta | (pos + 1);
                return true;
            }
            if ((cella & ~mascheraPosizione) == impronta &&
                voci[(cella & mascheraPosizione) - 1] == voce)
                return false;
        }
    }

private:
    static constexpr int bitPosizione = 40;  // up to 2^40 - 1 items
    static constexpr std::uint64_t mascheraPosizione = (std::uint64_t{1} << bitPosizione) - 1;

    std::size_t maschera_;
    std::vector<std::uint64_t> celle_;
};

}  // namespace

std::int64_t tieniUniche(std::vector<std::string_view>& righe)
{
    InsiemeVoci visti(righe.size());
    std::size_t uniche = 0;
    for (std::size_t i = 0; i < righe.size(); ++i) {
        // Compacting in place: slot `uniche` has already been read, so the
        // set can name it as the home of the item it keeps.
        if (visti.inserisci(righe, righe[i], uniche))
            righe[uniche++] = righe[i];
    }
    righe.resize(uniche);
    return static_cast<std::int64_t>(uniche);
}

void ordina(std::span<std::string_view> righe)
{
    // std::string_view orders by char_traits<char>::compare: unsigned bytes,
    // a proper prefix first.
    std::sort(righe.begin(), righe.end());
}

}  // namespace nucleo
