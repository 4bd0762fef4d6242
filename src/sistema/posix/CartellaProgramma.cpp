#include "../Interno.h"
#include "sistema/Percorsi.h"

#include <string>
#include <system_error>

#include <unistd.h>

namespace sistema {

namespace interno {

// The folder of the running executable from the very bytes of its path, so
// that a folder whose name is not valid UTF-8 is found all the same. Without
// /proc, the working folder.
std::filesystem::path cartellaEseguibile()
{
    std::string percorso(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", percorso.data(), percorso.size());
        if (n < 0) {
            std::error_code errore;
            return std::filesystem::current_path(errore);
        }
        if (static_cast<std::size_t>(n) < percorso.size()) {
            percorso.resize(static_cast<std::size_t>(n));
            break;
        }
        percorso.resize(percorso.size() * 2);
    }
    // The link always holds an absolute path.
    const std::size_t taglio = percorso.rfind('/');
    percorso.resize(taglio == 0 ? 1 : taglio);
    return percorso;
}

}  // namespace interno

// `cartella` without "." and ".." steps, repeated separators or a trailing
// separator (except at the root).
std::filesystem::path cartellaPulita(const std::filesystem::path& cartella)
{
    std::filesystem::path p = cartella.lexically_normal();
    if (!p.has_filename() && p.has_relative_path())
        p = p.parent_path();
    return p;
}

}  // namespace sistema
