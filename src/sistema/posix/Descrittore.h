#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace sistema {

// A file descriptor, closed when it goes.
class Descrittore {
public:
    Descrittore() = default;
    explicit Descrittore(int fd) noexcept : fd_(fd) {}
    ~Descrittore() { reset(); }
    Descrittore(Descrittore&& altro) noexcept : fd_(std::exchange(altro.fd_, -1)) {}
    Descrittore& operator=(Descrittore&& altro) noexcept
    {
        reset(std::exchange(altro.fd_, -1));
        return *this;
    }
    Descrittore(const Descrittore&) = delete;
    Descrittore& operator=(const Descrittore&) = delete;

    int get() const noexcept { return fd_; }
    bool valido() const noexcept { return fd_ >= 0; }
    void reset(int fd = -1) noexcept;

private:
    int fd_ = -1;
};

// How many bytes a transfer moved, and the errno of the call that stopped
// it (0 when no call failed).
struct Trasferiti {
    std::size_t byte = 0;
    int errore = 0;
};

// Writes the `n` bytes, going on after a signal and after a partial write.
// Fewer bytes with no error: the system wrote nothing (what that means is
// the caller's to say).
Trasferiti scriviTutto(int fd, const char* dati, std::size_t n) noexcept;

// Reads `n` bytes, going on after a signal and after a partial read, from
// offset `da` or, when it is negative, from the file's position. Fewer
// bytes with no error: the file ends there.
Trasferiti leggiTutto(int fd, char* dove, std::size_t n, std::int64_t da = -1) noexcept;

}  // namespace sistema
