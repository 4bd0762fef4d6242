#include "sistema/FileTemporaneo.h"

#include "Temporanei.h"

#include <algorithm>
#include <mutex>
#include <random>

namespace sistema {

std::uint32_t casuale()
{
    // Seeded once from the system's entropy, so that two processes never
    // try the same names in turn.
    static std::mutex mutex;
    static std::mt19937 generatore{std::random_device{}()};
    const std::lock_guard blocco(mutex);
    return static_cast<std::uint32_t>(generatore());
}

bool inMemoria(const std::filesystem::path& cartella)
{
    // A RAM disk: what is written there takes the machine's memory.
    const std::wstring pieno = win32::pieno(cartella);
    wchar_t radice[MAX_PATH + 1];
    return ::GetVolumePathNameW(pieno.c_str(), radice, MAX_PATH + 1) && ::GetDriveTypeW(radice) == DRIVE_RAMDISK;
}

CartellaCorse cartellaCorse(const std::filesystem::path& dati,
                            const std::function<bool(const std::filesystem::path&)>& suMemoria)
{
    if (!suMemoria(dati))
        return {dati, false};
    // The user's temporary folder, where it is on a disk.
    wchar_t temporanea[MAX_PATH + 2];
    const DWORD n = ::GetTempPathW(MAX_PATH + 2, temporanea);
    if (n != 0 && n <= MAX_PATH + 1) {
        const std::filesystem::path t(std::wstring(temporanea, n));
        const DWORD a = ::GetFileAttributesW(t.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0 && !suMemoria(t))
            return {t, false};
    }
    return {dati, true};
}

struct FileTemporaneo::File {
    win32::Maniglia maniglia;
    std::uint64_t fine = 0;  // where the next write goes
};

FileTemporaneo::FileTemporaneo(const std::filesystem::path& cartella)
    : cartella_(cartella), file_(std::make_unique<File>())
{
    // Windows removes the file when its last handle closes, however the
    // process ends; "temporary" keeps it in the system's cache as long as
    // memory allows. Hidden while it exists.
    for (int tentativo = 0;; ++tentativo) {
        static constexpr char cifre[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::wstring nome = win32::daUtf8(prefissoNome);
        for (int i = 0; i < 6; ++i)
            nome += static_cast<wchar_t>(cifre[casuale() % (sizeof cifre - 1)]);
        file_->maniglia.reset(::CreateFileW(win32::esteso(cartella / nome).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN |
                                                FILE_FLAG_DELETE_ON_CLOSE,
                                            nullptr));
        if (file_->maniglia.valida())
            return;
        const DWORD codice = ::GetLastError();
        if (codice != ERROR_FILE_EXISTS || tentativo == 100)
            throw win32::daWindows(codice, cartella_);
    }
}

FileTemporaneo::~FileTemporaneo() = default;

void FileTemporaneo::scrivi(const char* dati, std::size_t n)
{
    // Each write goes on where the last one stopped.
    while (n > 0) {
        const DWORD parte = static_cast<DWORD>(std::min<std::size_t>(n, std::size_t{1} << 30));
        OVERLAPPED dove {};
        dove.Offset = static_cast<DWORD>(file_->fine);
        dove.OffsetHigh = static_cast<DWORD>(file_->fine >> 32);
        DWORD scritti = 0;
        if (!::WriteFile(file_->maniglia.get(), dati, parte, &scritti, &dove))
            throw win32::daWindows(::GetLastError(), cartella_);
        if (scritti == 0)
            throw ErroreRuntime(CodiceErrore::DiscoPieno, cartella_);
        dati += scritti;
        n -= scritti;
        file_->fine += scritti;
    }
}

std::size_t FileTemporaneo::leggi(std::uint64_t da, char* dati, std::size_t n)
{
    std::size_t letti = 0;
    while (letti < n) {
        const DWORD parte = static_cast<DWORD>(std::min<std::size_t>(n - letti, std::size_t{1} << 30));
        OVERLAPPED dove {};
        dove.Offset = static_cast<DWORD>(da);
        dove.OffsetHigh = static_cast<DWORD>(da >> 32);
        DWORD questi = 0;
        if (!::ReadFile(file_->maniglia.get(), dati + letti, parte, &questi, &dove)) {
            const DWORD codice = ::GetLastError();
            if (codice == ERROR_HANDLE_EOF)
                break;
            throw win32::daWindows(codice, cartella_);
        }
        if (questi == 0)
            break;
        letti += questi;
        da += questi;
    }
    return letti;
}

}  // namespace sistema
