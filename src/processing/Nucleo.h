#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

// The dedupe and sort core: the one place where items are compared. Items
// are byte strings compared in binary order (byte by byte as unsigned
// values, a proper prefix first), which for UTF-8 is code-point order. The
// core knows nothing of files or of the user interface, and it trusts
// nothing about its input: any bytes, any lengths, any number of items.
namespace nucleo {

// An item with its first sixteen bytes as two big-endian numbers
// (zero-padded): comparing the numbers compares those bytes, so most
// comparisons are settled without following the view into the text.
struct Voce {
    std::uint64_t chiave[2];
    std::string_view testo;
};

class Elenco;
class Raccolta;
Elenco tieniUniche(std::vector<Raccolta>&& righe);

// Which half of the dedupe work an item belongs to: a cheap function of its
// first and last bytes, so that equal items always fall in the same half.
// Items that differ only in the middle may all land in one half: still
// correct, just less parallel.
inline unsigned metaDi(std::string_view s) noexcept
{
    std::uint64_t primi = 0;
    std::uint64_t ultimi = 0;
    const std::size_t n = s.size() < 8 ? s.size() : 8;
    if (n != 0) {
        std::memcpy(&primi, s.data(), n);
        std::memcpy(&ultimi, s.data() + s.size() - n, n);
    }
    return static_cast<unsigned>(((primi ^ (ultimi * 0x9E3779B97F4A7C15ull) ^ s.size()) * 0xD6E8FEB86659FD93ull) >> 63);
}

// The items of a list as one reader gathers them, already split in the
// halves that the dedupe works on, one per core. Several readers, each
// with its own Raccolta, can gather at the same time. The items are kept in
// blocks of about 1 MiB, which never move while the list grows and which
// the dedupe releases one by one as it goes, so the list and the kept
// items are never held in full at the same time.
class Raccolta {
public:
    // An item as the block keeps it: unlike std::string_view it has no
    // constructor, so a new block is not cleared before it is filled.
    struct Vista {
        const char* dati;
        std::size_t lunghezza;
        std::string_view testo() const noexcept { return {dati, lunghezza}; }
    };

    struct Blocco {
        // A block is just over 1 MiB, so that it comes from, and goes back
        // to, the system on its own (see host::preparaProcesso).
        static constexpr std::size_t capienza = (std::size_t{1} << 20) / sizeof(Vista);
        std::size_t quante = 0;
        Vista voci[capienza];
    };

    void aggiungi(std::string_view voce)
    {
        auto& blocchi = meta_[metaDi(voce)];
        if (blocchi.empty() || blocchi.back()->quante == Blocco::capienza)
            blocchi.push_back(std::make_unique_for_overwrite<Blocco>());
        Blocco& b = *blocchi.back();
        b.voci[b.quante++] = {voce.data(), voce.size()};
        ++quante_;
    }

    std::size_t size() const noexcept { return quante_; }

    // Calls f(std::string_view) for each item, in no particular order.
    template <class F>
    void visita(F&& f) const
    {
        for (const auto& blocchi : meta_)
            for (const auto& b : blocchi)
                for (std::size_t i = 0; i < b->quante; ++i)
                    f(b->voci[i].testo());
    }

    // The blocks of half `m`, for the dedupe to consume.
    std::vector<std::unique_ptr<Blocco>>& meta(unsigned m) noexcept { return meta_[m]; }

private:
    std::vector<std::unique_ptr<Blocco>> meta_[2];
    std::size_t quante_ = 0;
};

// The distinct items of a list, held in parts that are deduplicated and
// sorted at the same time, one per core.
class Elenco {
public:
    std::int64_t size() const noexcept { return quante_; }

    // Sorts the items in ascending binary order.
    void ordina();

    // Calls f(std::string_view) for each item: in ascending binary order
    // once ordina() has run, in an unspecified order before. The view is
    // valid during the call only.
    template <class F>
    void visita(F&& f) const;

private:
    // Gives the item to f. An item of up to sixteen bytes is rebuilt from
    // its keys, so the text (scattered all over the file) is not touched.
    template <class F>
    static void consegna(const Voce& v, F& f)
    {
        if (v.testo.size() > sizeof v.chiave) {
            f(v.testo);
            return;
        }
        char byte[sizeof v.chiave];
        for (int k = 0; k < 2; ++k) {
            std::uint64_t be = v.chiave[k];
            if constexpr (std::endian::native == std::endian::little)
                be = __builtin_bswap64(be);
            std::memcpy(byte + 8 * k, &be, 8);
        }
        f(std::string_view(byte, v.testo.size()));
    }

    friend Elenco tieniUniche(std::vector<Raccolta>&& righe);

    std::vector<std::vector<Voce>> parti_;
    std::int64_t quante_ = 0;
    bool ordinato_ = false;
};

// Keeps one copy of each distinct item of `righe`, dropping the repeats.
// Linear time on average; the items' list is released once it is read.
Elenco tieniUniche(std::vector<Raccolta>&& righe);

// How many threads the core uses: both cores where there are two.
unsigned fili() noexcept;

// Runs `a` here and `b` on another thread, and returns when both are done.
// An exception of either is raised here, after both have ended.
template <class A, class B>
void inParallelo(A&& a, B&& b)
{
    std::exception_ptr erroreB;
    std::thread altro([&] {
        try {
            b();
        } catch (...) {
            erroreB = std::current_exception();
        }
    });
    std::exception_ptr erroreA;
    try {
        a();
    } catch (...) {
        erroreA = std::current_exception();
    }
    altro.join();
    if (erroreA)
        std::rethrow_exception(erroreA);
    if (erroreB)
        std::rethrow_exception(erroreB);
}

// Binary order of items.
bool minore(const Voce& a, const Voce& b) noexcept;

template <class F>
void Elenco::visita(F&& f) const
{
    if (!ordinato_ || parti_.size() != 2) {
        for (const auto& parte : parti_)
            for (const Voce& v : parte)
                consegna(v, f);
        return;
    }
    // The two sorted parts, merged.
    const Voce* i = parti_[0].data();
    const Voce* const fineI = i + parti_[0].size();
    const Voce* j = parti_[1].data();
    const Voce* const fineJ = j + parti_[1].size();
    while (i != fineI && j != fineJ)
        consegna(minore(*j, *i) ? *j++ : *i++, f);
    for (; i != fineI; ++i)
        consegna(*i, f);
    for (; j != fineJ; ++j)
        consegna(*j, f);
}

}  // namespace nucleo
