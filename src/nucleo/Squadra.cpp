#include "nucleo/Squadra.h"

#include <system_error>
#include <utility>

namespace nucleo {

Squadra::Squadra(unsigned fili)
{
    for (unsigned i = 1; i < fili; ++i) {
        try {
            lavoratori_.emplace_back([this] { ciclo(); });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: go on with those there are
        }
    }
}

Squadra::~Squadra()
{
    {
        std::lock_guard blocco(mutex_);
        chiusa_ = true;
    }
    sveglia_.notify_all();
    for (auto& t : lavoratori_)
        t.join();
}

void Squadra::ciclo() noexcept
{
    unsigned long visto = 0;
    std::unique_lock blocco(mutex_);
    for (;;) {
        sveglia_.wait(blocco, [&] { return chiusa_ || turno_ != visto; });
        if (chiusa_)
            return;
        visto = turno_;
        blocco.unlock();
        lavora();
        blocco.lock();
        if (--attivi_ == 0)
            fatto_.notify_one();
    }
}

void Squadra::lavora() noexcept
{
    for (;;) {
        const std::size_t i = prossimo_.fetch_add(1, std::memory_order_relaxed);
        if (i >= quanti_)
            return;
        try {
            (*compito_)(i);
        } catch (...) {
            std::lock_guard blocco(mutex_);
            if (!errore_)
                errore_ = std::current_exception();
            prossimo_.store(quanti_, std::memory_order_relaxed);
        }
    }
}

void Squadra::perOgni(std::size_t n, const std::function<void(std::size_t)>& compito)
{
    if (lavoratori_.empty() || n <= 1) {
        for (std::size_t i = 0; i < n; ++i)
            compito(i);
        return;
    }
    {
        std::lock_guard blocco(mutex_);
        compito_ = &compito;
        quanti_ = n;
        prossimo_.store(0, std::memory_order_relaxed);
        attivi_ = lavoratori_.size();
        errore_ = nullptr;
        ++turno_;
    }
    sveglia_.notify_all();
    lavora();
    std::exception_ptr errore;
    {
        std::unique_lock blocco(mutex_);
        fatto_.wait(blocco, [&] { return attivi_ == 0; });
        compito_ = nullptr;
        errore = std::exchange(errore_, nullptr);
    }
    if (errore)
        std::rethrow_exception(errore);
}

}  // namespace nucleo
