#include "host/Descrittore.h"

#include <cerrno>

#include <sys/types.h>
#include <unistd.h>

namespace host {

void Descrittore::reset(int fd) noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

Trasferiti scriviTutto(int fd, const char* dati, std::size_t n) noexcept
{
    Trasferiti t;
    while (t.byte < n) {
        const ssize_t r = ::write(fd, dati + t.byte, n - t.byte);
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

Trasferiti leggiTutto(int fd, char* dove, std::size_t n, std::int64_t da) noexcept
{
    Trasferiti t;
    while (t.byte < n) {
        const ssize_t r = da < 0 ? ::read(fd, dove + t.byte, n - t.byte)
                                 : ::pread(fd, dove + t.byte, n - t.byte, static_cast<off_t>(da) + static_cast<off_t>(t.byte));
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

}  // namespace host
