#include "sistema/ErroreRuntime.h"

#include "Win.h"
#include "../Interno.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace sistema {

namespace interno {

// Windows names files in UTF-16: shown as UTF-8, like the text.
std::string testoDelPercorso(const std::filesystem::path& percorso)
{
    return win32::inUtf8(percorso.native());
}

}  // namespace interno

namespace win32 {

CodiceErrore codiceDaWindows(DWORD codice) noexcept
{
    switch (codice) {
    case ERROR_FILE_NOT_FOUND:
        return CodiceErrore::FileNonTrovato;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
        return CodiceErrore::PercorsoNonTrovato;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_NETWORK_ACCESS_DENIED:
    // Held by another program past the retries: the file cannot be opened
    // or replaced now, which is what "permission denied" tells.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return CodiceErrore::AutorizzazioneNegata;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_NOT_ENOUGH_QUOTA:
    case ERROR_FILE_TOO_LARGE:
        return CodiceErrore::DiscoPieno;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETNAME_DELETED:
        return CodiceErrore::ErroreIO;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_COMMITMENT_LIMIT:
        return CodiceErrore::MemoriaEsaurita;
    default:
        // A name Windows refuses, a folder where a file was expected, a
        // device: the path cannot be used.
        return CodiceErrore::AccessoPercorso;
    }
}

ErroreRuntime daWindows(DWORD codice, const std::filesystem::path& percorso)
{
    // Windows says "path not found" for a missing file in a missing folder
    // and sometimes for a missing file alone: the folder decides, as on Linux.
    if (codice == ERROR_FILE_NOT_FOUND || codice == ERROR_PATH_NOT_FOUND) {
        bool cartella = false;
        std::wstring sopra = esteso(percorso);
        if (const std::size_t taglio = sopra.find_last_of(L'\\'); !percorso.empty() && taglio != std::wstring::npos) {
            sopra.resize(taglio + 1);
            const DWORD a = ::GetFileAttributesW(sopra.c_str());
            cartella = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
        }
        return ErroreRuntime(cartella ? CodiceErrore::FileNonTrovato : CodiceErrore::PercorsoNonTrovato, percorso);
    }
    return ErroreRuntime(codiceDaWindows(codice), percorso);
}

bool occupato(DWORD codice) noexcept
{
    return codice == ERROR_SHARING_VIOLATION || codice == ERROR_LOCK_VIOLATION;
}

std::wstring pieno(const std::filesystem::path& percorso)
{
    const std::wstring& p = percorso.native();
    if (p.empty())
        return p;
    std::wstring assoluto(std::max<std::size_t>(p.size() + 16, MAX_PATH), L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(p.c_str(), static_cast<DWORD>(assoluto.size()), assoluto.data(), nullptr);
        if (n == 0)
            return p;
        if (n < assoluto.size()) {
            assoluto.resize(n);
            return assoluto;
        }
        assoluto.resize(n);  // the size asked for, and again
    }
}

std::wstring esteso(const std::filesystem::path& percorso)
{
    const std::wstring& p = percorso.native();
    if (p.empty() || p.starts_with(LR"(\\?\)") || p.starts_with(LR"(\\.\)"))
        return p;
    const std::wstring assoluto = pieno(percorso);
    if (assoluto.size() < MAX_PATH - 12)
        return assoluto;
    if (assoluto.starts_with(LR"(\\)"))
        return LR"(\\?\UNC\)" + assoluto.substr(2);
    return LR"(\\?\)" + assoluto;
}

std::wstring daUtf8(std::string_view testo)
{
    if (testo.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, testo.data(), static_cast<int>(testo.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, testo.data(), static_cast<int>(testo.size()), w.data(), n);
    return w;
}

std::string inUtf8(std::wstring_view testo)
{
    if (testo.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, testo.data(), static_cast<int>(testo.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, testo.data(), static_cast<int>(testo.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace win32

}  // namespace sistema
