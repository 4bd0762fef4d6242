#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
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

// The distinct items of a list, held in parts that are deduplicated and
// sorted at the same time, one per core.
class Elenco {
public:
    std::int64_t size() const noexcept { return quante_; }

    // Sorts the items in ascending binary order.
    void ordina();

    // Calls f(std::string_view) for each item: in ascending binary order
    // once ordina() has run, in an unspecified order before.
    template <class F>
    void visita(F&& f) const;

private:
    friend Elenco tieniUniche(std::vector<std::string_view>&& righe);
    void unisci(const std::vector<Voce>& a, const std::vector<Voce>& b,
                void (*f)(void*, std::string_view), void* contesto) const;

    std::vector<std::vector<Voce>> parti_;
    std::int64_t quante_ = 0;
    bool ordinato_ = false;
};

// Keeps one copy of each distinct item of `righe`, dropping the repeats.
// Linear time on average; the list is released as soon as it is read.
Elenco tieniUniche(std::vector<std::string_view>&& righe);

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

template <class F>
void Elenco::visita(F&& f) const
{
    if (ordinato_ && parti_.size() == 2) {
        unisci(parti_[0], parti_[1],
               [](void* c, std::string_view v) { (*static_cast<std::remove_reference_t<F>*>(c))(v); }, &f);
        return;
    }
    for (const auto& parte : parti_)
        for (const Voce& v : parte)
            f(v.testo);
}

}  // namespace nucleo
