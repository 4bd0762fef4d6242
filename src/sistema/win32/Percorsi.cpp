#include "sistema/Percorsi.h"

#include "Win.h"

#include <string>

namespace sistema {

namespace {

DWORD attributi(const std::filesystem::path& percorso)
{
    return ::GetFileAttributesW(win32::esteso(percorso).c_str());
}

bool cartellaPresente(const std::filesystem::path& percorso)
{
    const DWORD a = attributi(percorso);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

struct ChiudiRicerca {
    HANDLE h;
    ~ChiudiRicerca()
    {
        if (h != INVALID_HANDLE_VALUE)
            ::FindClose(h);
    }
};

}  // namespace

VociCartella leggiCartella(const std::filesystem::path& cartella, const std::atomic<bool>* annulla)
{
    VociCartella voci;
    WIN32_FIND_DATAW voce {};
    const std::wstring modello = win32::esteso(cartella / L"*");
    const ChiudiRicerca ricerca{::FindFirstFileExW(modello.c_str(), FindExInfoBasic, &voce, FindExSearchNameMatch,
                                                   nullptr, FIND_FIRST_EX_LARGE_FETCH)};
    if (ricerca.h == INVALID_HANDLE_VALUE) {
        // Only a drive's root can have no entries at all, not even "." and "..".
        const DWORD codice = ::GetLastError();
        if (codice == ERROR_FILE_NOT_FOUND && cartellaPresente(cartella))
            return voci;
        // The folder itself missing is a path not found, as on Linux.
        if (codice == ERROR_FILE_NOT_FOUND || codice == ERROR_PATH_NOT_FOUND)
            throw ErroreRuntime(CodiceErrore::PercorsoNonTrovato, cartella);
        throw win32::daWindows(codice, cartella);
    }
    do {
        if (annulla != nullptr && annulla->load(std::memory_order_relaxed))
            return voci;
        // Hidden and system entries, dot names (and "." and ".."), as the
        // Linux build hides dot names.
        if (voce.cFileName[0] == L'.' || (voce.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0)
            continue;
        DWORD a = voce.dwFileAttributes;
        // Through links: what the name leads to is what counts.
        if ((a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            const win32::Maniglia m(::CreateFileW(win32::esteso(cartella / voce.cFileName).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            BY_HANDLE_FILE_INFORMATION info {};
            if (!m.valida() || !::GetFileInformationByHandle(m.get(), &info))
                continue;
            a = info.dwFileAttributes;
        }
        if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0)
            voci.cartelle.emplace_back(voce.cFileName);
        else if ((a & FILE_ATTRIBUTE_DEVICE) == 0)
            voci.file.emplace_back(voce.cFileName);
    } while (::FindNextFileW(ricerca.h, &voce));
    // The end of the folder, or a reading that broke off (a share gone).
    if (const DWORD codice = ::GetLastError(); codice != ERROR_NO_MORE_FILES)
        throw win32::daWindows(codice, cartella);
    return voci;
}

std::optional<CodiceErrore> erroreCartella(const std::filesystem::path& cartella)
{
    if (!cartellaPresente(cartella))
        return CodiceErrore::PercorsoNonTrovato;
    // Listing it is what the user needs of it: the right asked for when the
    // folder is opened, without reading any of its entries (a folder of
    // many thousands would be read whole for nothing).
    const win32::Maniglia m(::CreateFileW(win32::esteso(cartella).c_str(), FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m.valida() && ::GetLastError() == ERROR_ACCESS_DENIED)
        return CodiceErrore::AutorizzazioneNegata;
    return std::nullopt;
}

std::filesystem::path cartellaEsistente(const std::filesystem::path& cartella)
{
    std::filesystem::path c = cartella;
    while (!c.empty()) {
        if (cartellaPresente(c))
            return c;
        const std::filesystem::path sopra = c.has_filename() ? c.parent_path() : c.parent_path().parent_path();
        if (sopra == c)
            break;
        c = sopra;
    }
    return cartella;
}

std::filesystem::path maiuscolo(const std::filesystem::path& nome)
{
    // Windows' own case mapping of the UTF-16 name, the same for every user
    // (the invariant locale), as the file system's own comparisons use it.
    const std::wstring& w = nome.native();
    if (w.empty())
        return nome;
    const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w.data(), static_cast<int>(w.size()),
                                  nullptr, 0, nullptr, nullptr, 0);
    std::wstring maiuscole(static_cast<std::size_t>(n), L'\0');
    if (n == 0 || ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w.data(), static_cast<int>(w.size()),
                                  maiuscole.data(), n, nullptr, nullptr, 0) != n) {
        // Only without memory; then by the letters every code page has.
        maiuscole = w;
        for (wchar_t& c : maiuscole)
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return maiuscole;
}

}  // namespace sistema
