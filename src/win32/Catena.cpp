#include "Catena.h"

#include <string_view>

namespace win32 {

namespace {

// The length of the root of `p`: "C:\", "\\server\share\", "\\?\C:\" or
// "\\?\UNC\server\share\" (with its separator, where it has one).
std::size_t radice(std::wstring_view p)
{
    const auto dopo = [&](std::size_t da, int pezzi) {
        // Past `pezzi` names, each ended by a separator (or the end).
        std::size_t i = da;
        for (int k = 0; k < pezzi && i < p.size(); ++k) {
            const std::size_t s = p.find(L'\\', i);
            i = s == std::wstring_view::npos ? p.size() : s + 1;
        }
        return i;
    };
    if (p.starts_with(L"\\\\?\\UNC\\"))
        return dopo(8, 2);
    if (p.starts_with(L"\\\\?\\"))
        return dopo(4, 1);
    if (p.starts_with(L"\\\\"))
        return dopo(2, 2);
    return dopo(0, 1);
}

}  // namespace

std::vector<Anello> catenaCartelle(const std::filesystem::path& cartella)
{
    std::wstring p = cartella.native();
    for (wchar_t& c : p)
        if (c == L'/')
            c = L'\\';
    std::vector<Anello> catena;
    if (p.empty())
        return catena;
    std::size_t fine = radice(p);
    std::wstring percorso = p.substr(0, fine);
    if (!percorso.ends_with(L'\\'))
        percorso += L'\\';
    catena.push_back({percorso, percorso});
    while (fine < p.size()) {
        std::size_t s = p.find(L'\\', fine);
        if (s == std::wstring::npos)
            s = p.size();
        if (s > fine) {
            const std::wstring nome = p.substr(fine, s - fine);
            if (!percorso.ends_with(L'\\'))
                percorso += L'\\';
            percorso += nome;
            catena.push_back({nome, percorso});
        }
        fine = s + 1;
    }
    return catena;
}

}  // namespace win32
