#include "sistema/CartellaProgramma.h"

#include "Win.h"

#include <string>
#include <system_error>

namespace sistema {

namespace {
std::filesystem::path& cartellaImposta()
{
    static std::filesystem::path cartella;
    return cartella;
}

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

// `cartella` without "." and ".." steps, repeated separators or a trailing
// separator (except at a drive root, "C:\", which keeps it).
std::filesystem::path pulito(const std::filesystem::path& cartella)
{
    std::filesystem::path p = cartella.lexically_normal();
    if (!p.has_filename() && p.has_relative_path())
        p = p.parent_path();
    return p;
}
}  // namespace

std::filesystem::path cartellaProgramma()
{
    return pulito(cartellaImposta().empty() ? cartellaEseguibile() : cartellaImposta());
}

void impostaCartellaProgramma(const std::filesystem::path& cartella)
{
    cartellaImposta() = cartella;
}

std::filesystem::path cartellaDati()
{
    return cartellaProgramma() / "Shared" / "Sistemi" / "";
}

}  // namespace sistema
