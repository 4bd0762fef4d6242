#include "Descrittore.h"

#include <cerrno>

#include <sys/types.h>
#include <unistd.h>

namespace sistema {

void Descrittore::reset(int fd) noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

// Calls passo(fatti) until n bytes are moved, the descriptor has no more
// (a zero), or an error other than an interrupted call.
template <class Passo>
Trasferiti tutti(std::size_t n, Passo passo) noexcept
{
    Trasferiti t;
    while (t.byte < n) {
        const ssize_t r = passo(t.byte);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            t.errore = errno;
            break;
        }
        if (r == 0)
            break;
        t.byte += static_cast<std::size_t>(r);
    }
    return t;
}

}  // namespace

Trasferiti scriviTutto(int fd, const char* dati, std::size_t n) noexcept
{
    return tutti(n, [&](std::size_t fatti) { return ::write(fd, dati + fatti, n - fatti); });
}

Trasferiti leggiTutto(int fd, char* dove, std::size_t n, std::int64_t da) noexcept
{
    return tutti(n, [&](std::size_t fatti) {
        return da < 0 ? ::read(fd, dove + fatti, n - fatti)
                      : ::pread(fd, dove + fatti, n - fatti, static_cast<off_t>(da) + static_cast<off_t>(fatti));
    });
}

}  // namespace sistema
