#pragma once

// What the Windows side of the host's services shares: handles that close
// themselves, the mapping of Windows' errors to the run-time errors, and
// the brief retries while another program holds a file.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "sistema/ErroreRuntime.h"

#include <filesystem>
#include <string>
#include <utility>

namespace sistema::win32 {

// A file handle, closed when it goes.
class Maniglia {
public:
    Maniglia() = default;
    explicit Maniglia(HANDLE h) noexcept : h_(h) {}
    ~Maniglia() { reset(); }
    Maniglia(Maniglia&& altra) noexcept : h_(std::exchange(altra.h_, INVALID_HANDLE_VALUE)) {}
    Maniglia& operator=(Maniglia&& altra) noexcept
    {
        reset(std::exchange(altra.h_, INVALID_HANDLE_VALUE));
        return *this;
    }
    Maniglia(const Maniglia&) = delete;
    Maniglia& operator=(const Maniglia&) = delete;

    HANDLE get() const noexcept { return h_; }
    bool valida() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept
    {
        if (valida())
            ::CloseHandle(h_);
        h_ = h;
    }
    HANDLE rilascia() noexcept { return std::exchange(h_, INVALID_HANDLE_VALUE); }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// The run-time error of a Windows error code met on `percorso`: the same
// numbers and texts as the Linux build gives for the same failure.
ErroreRuntime daWindows(DWORD codice, const std::filesystem::path& percorso);
CodiceErrore codiceDaWindows(DWORD codice) noexcept;

// `percorso` as Windows itself reads it (GetFullPathNameW): absolute, "."
// and ".." resolved, "/" as "\", network paths (\\server\share) kept as
// they are, which the library's path functions would lose the leading
// separator of.
std::wstring pieno(const std::filesystem::path& percorso);

// `percorso` as Windows' wide functions take it: absolute, with the
// \\?\ prefix when it is longer than the old limit of MAX_PATH, so that
// deep folders and long names work without the system-wide setting.
std::wstring esteso(const std::filesystem::path& percorso);

// Whether the error says another program holds the file (a sharing or lock
// violation): such holds are usually brief (an editor saving, an antivirus
// or an indexer looking), so the caller waits a little and tries again.
bool occupato(DWORD codice) noexcept;

// Calls `prova` (which returns whether it succeeded, leaving the reason in
// GetLastError()) until it succeeds, fails for another reason, or about
// two seconds have passed while the file was held; then returns its last
// result with GetLastError() as it left it. With `negato`, "access
// denied" counts as held too (replacing a file that is open says so).
template <typename F>
bool riprovando(F&& prova, bool negato = false)
{
    for (int tentativo = 0;; ++tentativo) {
        if (prova())
            return true;
        const DWORD codice = ::GetLastError();
        if (!(occupato(codice) || (negato && codice == ERROR_ACCESS_DENIED)) || tentativo == 40)
            return false;
        ::Sleep(50);
        ::SetLastError(codice);
    }
}

// Text between UTF-8 and UTF-16.
std::wstring daUtf8(std::string_view testo);
std::string inUtf8(std::wstring_view testo);

}  // namespace sistema::win32
