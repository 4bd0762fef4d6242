#include "../Interno.h"
#include "sistema/Percorsi.h"

#include "Win.h"

#include <string>
#include <system_error>

namespace sistema {

namespace interno {

// The folder of the running executable, asked again with a larger buffer
// while the path does not fit (a path may be far longer than MAX_PATH).
std::filesystem::path cartellaEseguibile()
{
    std::wstring percorso(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, percorso.data(), static_cast<DWORD>(percorso.size()));
        if (n == 0) {
            std::error_code errore;
            return std::filesystem::current_path(errore);
        }
        if (n < percorso.size()) {
            percorso.resize(n);
            break;
        }
        percorso.resize(percorso.size() * 2);
    }
    return std::filesystem::path(percorso).parent_path();
}

}  // namespace interno

// `cartella` absolute, without "." and ".." steps or a trailing separator
// (except at a drive root, "C:\", which keeps it); a network folder stays
// one (\\server\share\...).
std::filesystem::path cartellaPulita(const std::filesystem::path& cartella)
{
    std::wstring p = win32::pieno(cartella);
    while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/'))
        p.pop_back();
    return p;
}

}  // namespace sistema
