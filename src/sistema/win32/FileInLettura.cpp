// The Windows side of the reader of items: the file read into the reader's
// buffers (the system's cache already holds the bytes, and copying them
// costs less than mapping views of them would save), and the memory of
// those buffers.
#include "../Interno.h"

#include "Win.h"

#include "sistema/ErroreRuntime.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sistema::interno {

namespace {

class FileWin final : public FileInLettura {
public:
    explicit FileWin(const std::filesystem::path& percorso);

    std::size_t leggi(char* dove, std::size_t n) override;
    std::optional<std::uint64_t> dimensioneOra() const noexcept override;

private:
    std::filesystem::path percorso_;
    win32::Maniglia file_;
};

FileWin::FileWin(const std::filesystem::path& percorso) : percorso_(percorso)
{
    // Others may read the file, and write or rename it as an editor
    // saving does, while it is read; a file another program holds without
    // letting others read it is waited for briefly.
    const std::wstring nome = win32::esteso(percorso);
    const DWORD attributi = ::GetFileAttributesW(nome.c_str());
    if (attributi != INVALID_FILE_ATTRIBUTES && (attributi & FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    const bool aperto = win32::riprovando([&] {
        file_.reset(::CreateFileW(nome.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return file_.valida();
    });
    if (!aperto)
        throw win32::daWindows(::GetLastError(), percorso);
    // Only files on a disk: a device, a pipe or a console would block or
    // never end.
    LARGE_INTEGER dimensione {};
    if (::GetFileType(file_.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file_.get(), &dimensione))
        throw ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    dichiarata_ = static_cast<std::uint64_t>(dimensione.QuadPart);
}

std::size_t FileWin::leggi(char* dove, std::size_t n)
{
    std::size_t letti = 0;
    while (letti < n) {
        const DWORD parte = static_cast<DWORD>(std::min<std::size_t>(n - letti, std::size_t{1} << 30));
        DWORD questi = 0;
        if (!::ReadFile(file_.get(), dove + letti, parte, &questi, nullptr)) {
            const DWORD codice = ::GetLastError();
            if (codice == ERROR_HANDLE_EOF || codice == ERROR_BROKEN_PIPE)
                break;
            throw win32::daWindows(codice, percorso_);
        }
        if (questi == 0)
            break;
        letti += questi;
    }
    return letti;
}

std::optional<std::uint64_t> FileWin::dimensioneOra() const noexcept
{
    LARGE_INTEGER ora {};
    if (!::GetFileSizeEx(file_.get(), &ora))
        return std::nullopt;
    return static_cast<std::uint64_t>(ora.QuadPart);
}

}  // namespace

std::unique_ptr<FileInLettura> apriInLettura(const std::filesystem::path& percorso)
{
    return std::make_unique<FileWin>(percorso);
}

char* allargaTesto(char* dati, std::size_t /*byte*/, std::size_t nuovi) noexcept
{
    return static_cast<char*>(std::realloc(dati, nuovi));
}

void liberaTesto(char* dati, std::size_t /*byte*/) noexcept
{
    std::free(dati);
}

}  // namespace sistema::interno
