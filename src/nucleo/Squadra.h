#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace nucleo {

// A team of threads that share the steps of one run: the calling thread and
// up to `fili` - 1 workers, started once and woken for each step, so that a
// run of many small steps does not pay for starting threads again and
// again. A worker that cannot start just makes the team smaller.
class Squadra {
public:
    explicit Squadra(unsigned fili);
    ~Squadra();
    Squadra(const Squadra&) = delete;
    Squadra& operator=(const Squadra&) = delete;

    // How many threads work, the caller included (at least 1).
    unsigned fili() const noexcept { return static_cast<unsigned>(lavoratori_.size()) + 1; }

    // Runs compito(i) for every i in [0, n), spread over the team, and
    // returns when all have ended. If any raises, the tasks not yet begun
    // are skipped and the first exception is raised here.
    void perOgni(std::size_t n, const std::function<void(std::size_t)>& compito);

private:
    void lavora() noexcept;
    void ciclo() noexcept;

    std::vector<std::thread> lavoratori_;
    std::mutex mutex_;
    std::condition_variable sveglia_;
    std::condition_variable fatto_;
    const std::function<void(std::size_t)>* compito_ = nullptr;
    std::size_t quanti_ = 0;
    std::atomic<std::size_t> prossimo_{0};
    std::size_t attivi_ = 0;
    unsigned long turno_ = 0;
    bool chiusa_ = false;
    std::exception_ptr errore_;
};

}  // namespace nucleo
