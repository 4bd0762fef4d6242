#include "sistema/ScrittoreRighe.h"

#include "ScrittoreWin.h"
#include "../BloccoCopia.h"
#include "Temporanei.h"

#include "sistema/FileTemporaneo.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace sistema {

namespace {

std::atomic<win32::PassoScrittura> passoGuasto{win32::PassoScrittura::Nessuno};
std::atomic<DWORD> codiceGuasto{ERROR_DISK_FULL};

// Whether the test asks this step to fail: then it fails as the system's
// call would, with the error in GetLastError().
bool guasto(win32::PassoScrittura passo) noexcept
{
    if (passoGuasto.load() != passo)
        return false;
    ::SetLastError(codiceGuasto.load());
    return true;
}

std::wstring nomeCasuale()
{
    // Short, so that any name that is legal for the copy still works.
    wchar_t nome[16];
    std::swprintf(nome, 16, L".fx%08x.tmp", static_cast<unsigned>(casuale()));
    return nome;
}

bool soloCaratteri(std::wstring_view s, const wchar_t* ammessi) noexcept
{
    return std::all_of(s.begin(), s.end(), [&](wchar_t c) { return c != 0 && std::wcschr(ammessi, c) != nullptr; });
}

std::uint64_t tempo(const FILETIME& t) noexcept
{
    return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// Removes from the folder the temporary files a killed process of this
// program left: files of those names that nobody has changed for a minute.
// A live writer holds its file without letting anyone delete it, so its
// file is never removed. Best effort: what cannot be removed stays.
void spazzaTemporanei(const std::filesystem::path& cartella)
{
    WIN32_FIND_DATAW voce {};
    const HANDLE ricerca = ::FindFirstFileExW(win32::esteso(cartella / L".f*").c_str(), FindExInfoBasic, &voce,
                                              FindExSearchNameMatch, nullptr, 0);
    if (ricerca == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> nomi;
    FILETIME adesso {};
    ::GetSystemTimeAsFileTime(&adesso);
    constexpr std::uint64_t minuto = 60ULL * 10'000'000ULL;  // in 100 ns
    do {
        if ((voce.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
            win32::temporaneoDelProgramma(voce.cFileName) && tempo(adesso) >= tempo(voce.ftLastWriteTime) + minuto)
            nomi.emplace_back(voce.cFileName);
    } while (::FindNextFileW(ricerca, &voce));
    ::FindClose(ricerca);
    for (const std::wstring& nome : nomi) {
        const std::wstring p = win32::esteso(cartella / nome);
        // Hidden files may be deleted; read-only ones may not.
        ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(p.c_str());
    }
}

}  // namespace

namespace win32 {

void guastoAlPasso(PassoScrittura passo, DWORD codice) noexcept
{
    codiceGuasto = codice;
    passoGuasto = passo;
}

bool temporaneoDelProgramma(std::wstring_view nome) noexcept
{
    if (nome.size() == 15 && nome.starts_with(L".fx") && nome.ends_with(L".tmp"))
        return soloCaratteri(nome.substr(3, 8), L"0123456789abcdef");
    const std::wstring prefisso(FileTemporaneo::prefissoNome, FileTemporaneo::prefissoNome + sizeof FileTemporaneo::prefissoNome - 1);
    if (nome.size() == prefisso.size() + 6 && nome.starts_with(prefisso))
        return soloCaratteri(nome.substr(prefisso.size()), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    return false;
}

}  // namespace win32

// The temporary file is written beside the destination with a hidden name,
// flushed to the disk, and put in place by one rename that replaces an
// earlier copy. It takes the folder's inherited permissions, as any new
// file there does.
class ScrittoreRighe::Impl : public BloccoCopia {
public:
    Impl(const std::filesystem::path& destinazione, testo::Codifica codifica)
        : BloccoCopia(codifica), destinazione_(destinazione)
    {
        std::filesystem::path cartella = destinazione.parent_path();
        if (cartella.empty())
            cartella = L".";
        spazzaTemporanei(cartella);
        creaTemporaneo(cartella);
        scrivi(testo::marca(codifica));
    }

    ~Impl() { rimuoviTemporaneo(); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void completa()
    {
        svuota();
        if (guasto(win32::PassoScrittura::Svuota) || !::FlushFileBuffers(file_.get()))
            fallisci(::GetLastError());
        // A folder of that name is never replaced, nor a read-only copy
        // (as opening it for output would fail; Wine would replace it).
        const std::wstring a2 = win32::esteso(destinazione_);
        const DWORD a = ::GetFileAttributesW(a2.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0)
            fallisci(ERROR_CANNOT_MAKE);
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0)
            fallisci(ERROR_ACCESS_DENIED);
        // The copy is not hidden: the temporary file's mark goes before
        // its name changes.
        FILE_BASIC_INFO base {};
        base.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(file_.get(), FileBasicInfo, &base, sizeof base);
        const HANDLE h = file_.rilascia();
        const bool chiuso = ::CloseHandle(h);
        if (guasto(win32::PassoScrittura::Chiudi) || !chiuso)
            fallisci(::GetLastError());
        // An earlier copy another program holds open (an editor, an
        // antivirus, an indexer) cannot be replaced until it lets go:
        // Windows says "access denied" then, so that too is waited for,
        // briefly, since the copy is known not to be read-only.
        const std::wstring da = win32::esteso(temporaneo_);
        const bool fatto = win32::riprovando(
            [&] {
                return !guasto(win32::PassoScrittura::Sposta) &&
                       ::MoveFileExW(da.c_str(), a2.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            },
            true);
        if (!fatto)
            fallisci(::GetLastError());
        temporaneo_.clear();
    }

private:
    void creaTemporaneo(const std::filesystem::path& cartella)
    {
        for (int tentativo = 0;; ++tentativo) {
            temporaneo_ = cartella / nomeCasuale();
            // Nobody else may write it or delete it while it is written (a
            // clean-up of another instance sees a live writer's file this
            // way); reading is let through.
            if (!guasto(win32::PassoScrittura::Crea))
                file_.reset(::CreateFileW(win32::esteso(temporaneo_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (file_.valida())
                return;
            const DWORD codice = ::GetLastError();
            temporaneo_.clear();
            if (codice != ERROR_FILE_EXISTS || tentativo == 100)
                throw win32::daWindows(codice, destinazione_);
        }
    }

    void rimuoviTemporaneo() noexcept
    {
        file_.reset();
        if (!temporaneo_.empty())
            ::DeleteFileW(win32::esteso(temporaneo_).c_str());
        temporaneo_.clear();
    }

    [[noreturn]] void fallisci(DWORD codice)
    {
        rimuoviTemporaneo();
        throw win32::daWindows(codice, destinazione_);
    }

    void emetti(const char* dati, std::size_t n) override
    {
        while (n > 0) {
            const DWORD parte = static_cast<DWORD>(std::min<std::size_t>(n, std::size_t{1} << 30));
            DWORD scritti = 0;
            if (guasto(win32::PassoScrittura::Scrivi) || !::WriteFile(file_.get(), dati, parte, &scritti, nullptr))
                fallisci(::GetLastError());
            // A write that writes nothing: the disk took nothing more.
            if (scritti == 0)
                fallisci(ERROR_DISK_FULL);
            dati += scritti;
            n -= scritti;
        }
    }

    std::filesystem::path destinazione_;
    std::filesystem::path temporaneo_;  // while it has its hidden name
    win32::Maniglia file_;
};

ScrittoreRighe::ScrittoreRighe(const std::filesystem::path& destinazione, testo::Codifica codifica,
                               const std::filesystem::path&)
    : impl_(std::make_unique<Impl>(destinazione, codifica))
{
}

ScrittoreRighe::~ScrittoreRighe() = default;

void ScrittoreRighe::scriviTesto(std::string_view testo)
{
    impl_->scriviTesto(testo);
}

void ScrittoreRighe::completa()
{
    impl_->completa();
}

void usaSoloTemporaneiConNome(bool)
{
    // Windows' temporary files of the copy always have a name.
}

}  // namespace sistema
