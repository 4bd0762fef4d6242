// The Windows system layer on a real file system (under Wine when run from
// Linux): the copy's writer when each of its steps fails, the reader, the
// error numbers, the memory limits from made-up readings, the names.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "sistema/win32/RisorseWin.h"
#include "sistema/win32/ScrittoreWin.h"
#include "sistema/win32/Win.h"

#include "sistema/CartellaProgramma.h"
#include "sistema/ErroreRuntime.h"
#include "sistema/FileTemporaneo.h"
#include "sistema/LettoreVoci.h"
#include "sistema/Percorsi.h"
#include "Catena.h"
#include "sistema/ScrittoreRighe.h"
#include "stato/Variabili.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using sistema::CodiceErrore;
using sistema::win32::PassoScrittura;

namespace {

// A fresh folder of its own, removed with what it holds.
struct Cartella {
    fs::path p;
    Cartella()
    {
        p = fs::temp_directory_path() / ("fendrix-win-" + std::to_string(std::random_device{}()));
        fs::create_directories(p);
    }
    ~Cartella()
    {
        std::error_code e;
        fs::remove_all(sistema::win32::esteso(p), e);
    }
    std::vector<std::wstring> nomi() const
    {
        std::vector<std::wstring> v;
        for (const auto& voce : fs::directory_iterator(p))
            v.push_back(voce.path().filename().native());
        return v;
    }
};

void scrivi(const fs::path& p, const std::string& byte)
{
    std::ofstream(p, std::ios::binary) << byte;
}

std::string leggi(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The error a call raises, 0 when none.
template <typename F>
int errore(F&& f)
{
    try {
        f();
    } catch (const sistema::ErroreRuntime& e) {
        return e.numero();
    }
    return 0;
}

void copia(const fs::path& dest, const std::string& testo, testo::Codifica c = testo::Codifica::Byte)
{
    sistema::ScrittoreRighe s(dest, c);
    s.scriviTesto(testo);
    s.completa();
}

// The items of a reader, its pieces joined.
std::string tutto(sistema::LettoreVoci& l)
{
    std::string s;
    for (std::string_view p; !(p = l.prossimoPezzo(64, 1 << 20)).empty();)
        s += p;
    return s;
}

}  // namespace

TEST_CASE("the copy replaces an earlier one, leaving nothing else behind")
{
    Cartella c;
    const fs::path dest = c.p / L"NEW - CITTÀ.TXT";
    scrivi(dest, "vecchia\r\n");
    copia(dest, "nuova\r\n");
    CHECK(leggi(dest) == "nuova\r\n");
    CHECK(c.nomi() == std::vector<std::wstring>{L"NEW - CITTÀ.TXT"});
    CHECK((::GetFileAttributesW(dest.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0);
    // UTF-16: the mark, then the text encoded.
    copia(dest, "\xC3\xA0\r\n", testo::Codifica::Utf16LE);
    CHECK(leggi(dest) == std::string("\xFF\xFE\xE0\x00\r\x00\n\x00", 8));
}

TEST_CASE("a failure at any step of the writer keeps the earlier copy and leaves nothing")
{
    struct Caso {
        PassoScrittura passo;
        DWORD codice;
        int numero;
    };
    const Caso casi[] = {
        {PassoScrittura::Crea, ERROR_ACCESS_DENIED, 70},  {PassoScrittura::Crea, ERROR_DISK_FULL, 61},
        {PassoScrittura::Scrivi, ERROR_DISK_FULL, 61},    {PassoScrittura::Scrivi, ERROR_WRITE_FAULT, 57},
        {PassoScrittura::Svuota, ERROR_IO_DEVICE, 57},     {PassoScrittura::Chiudi, ERROR_DISK_FULL, 61},
        {PassoScrittura::Sposta, ERROR_ACCESS_DENIED, 70}, {PassoScrittura::Sposta, ERROR_SHARING_VIOLATION, 70},
        {PassoScrittura::Sposta, ERROR_NOT_ENOUGH_MEMORY, 7},
    };
    for (const Caso& k : casi) {
        CAPTURE(static_cast<int>(k.passo));
        CAPTURE(k.codice);
        Cartella c;
        const fs::path dest = c.p / L"NEW - A.TXT";
        scrivi(dest, "vecchia\r\n");
        sistema::win32::guastoAlPasso(k.passo, k.codice);
        CHECK(errore([&] { copia(dest, std::string(3 << 20, 'x')); }) == k.numero);
        sistema::win32::guastoAlPasso(PassoScrittura::Nessuno);
        CHECK(leggi(dest) == "vecchia\r\n");
        CHECK(c.nomi() == std::vector<std::wstring>{L"NEW - A.TXT"});
    }
}

TEST_CASE("an earlier copy that cannot be replaced stays as it was")
{
    Cartella c;
    const fs::path dest = c.p / L"NEW - A.TXT";
    SUBCASE("read-only")
    {
        scrivi(dest, "vecchia");
        ::SetFileAttributesW(dest.c_str(), FILE_ATTRIBUTE_READONLY);
        CHECK(errore([&] { copia(dest, "nuova"); }) == 70);
        ::SetFileAttributesW(dest.c_str(), FILE_ATTRIBUTE_NORMAL);
        CHECK(leggi(dest) == "vecchia");
    }
    SUBCASE("held by another program past the retries")
    {
        scrivi(dest, "vecchia");
        const sistema::win32::Maniglia h(
            ::CreateFileW(dest.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(h.valida());
        CHECK(errore([&] { copia(dest, "nuova"); }) == 70);
        CHECK(leggi(dest) == "vecchia");
    }
    SUBCASE("a folder of that name")
    {
        fs::create_directory(dest);
        CHECK(errore([&] { copia(dest, "nuova"); }) == 75);
        CHECK(fs::is_directory(dest));
    }
    SUBCASE("no such folder")
    {
        CHECK(errore([&] { copia(c.p / L"manca" / L"NEW - A.TXT", "nuova"); }) == 76);
    }
    for (const std::wstring& nome : c.nomi())
        CHECK(!sistema::win32::temporaneoDelProgramma(nome));
}

TEST_CASE("a file held briefly is waited for")
{
    Cartella c;
    const fs::path dest = c.p / L"NEW - A.TXT";
    scrivi(dest, "vecchia");
    HANDLE h = ::CreateFileW(dest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    std::thread rilascia([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::CloseHandle(h);
    });
    CHECK(errore([&] { copia(dest, "nuova"); }) == 0);
    rilascia.join();
    CHECK(leggi(dest) == "nuova");
}

TEST_CASE("stale temporary files are swept, live and foreign ones are not")
{
    Cartella c;
    const auto crea = [&](const wchar_t* nome, bool vecchio) {
        scrivi(c.p / nome, "t");
        if (vecchio) {
            const sistema::win32::Maniglia h(::CreateFileW((c.p / nome).c_str(), FILE_WRITE_ATTRIBUTES,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                           0, nullptr));
            FILETIME t {};
            ::GetSystemTimeAsFileTime(&t);
            ULARGE_INTEGER u{{t.dwLowDateTime, t.dwHighDateTime}};
            u.QuadPart -= 3600ULL * 10'000'000ULL;
            t = {u.LowPart, u.HighPart};
            ::SetFileTime(h.get(), nullptr, nullptr, &t);
        }
    };
    crea(L".fx0123abcd.tmp", true);      // left by a killed writer
    crea(L".fendrix-Ab12Cd", true);      // left by a killed run
    crea(L".fx0123abce.tmp", false);     // may be a live writer's
    crea(L".fx0123WXYZ.tmp", true);      // not a name of ours
    crea(L"dati.tmp", true);
    crea(L".fx01234567.tmp", true);      // held open by a live writer
    const sistema::win32::Maniglia tenuto(::CreateFileW((c.p / L".fx01234567.tmp").c_str(), GENERIC_WRITE,
                                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    copia(c.p / L"NEW - A.TXT", "x");
    std::vector<std::wstring> nomi = c.nomi();
    std::sort(nomi.begin(), nomi.end());
    CHECK(nomi == std::vector<std::wstring>{L".fx01234567.tmp", L".fx0123WXYZ.tmp", L".fx0123abce.tmp",
                                           L"NEW - A.TXT", L"dati.tmp"});
}

TEST_CASE("the reader: marks, UTF-16, held files, what is not a file")
{
    Cartella c;
    struct Caso {
        const char* nome;
        std::string byte;
        testo::Codifica codifica;
        std::string testo;
    };
    const Caso casi[] = {
        {"bom.txt", "\xEF\xBB\xBF" "a,b\r\n", testo::Codifica::Utf8, "a,b\r\n"},
        {"le.txt", std::string("\xFF\xFE" "a\0\xE0\0", 6), testo::Codifica::Utf16LE, "a\xC3\xA0"},
        {"be.txt", std::string("\xFE\xFF\0a\0\xE8", 6), testo::Codifica::Utf16BE, "a\xC3\xA8"},
        {"latin1.txt", "citt\xE0\n", testo::Codifica::Byte, "citt\xE0\n"},
        {"vuoto.txt", "", testo::Codifica::Byte, ""},
    };
    for (const Caso& k : casi) {
        CAPTURE(k.nome);
        scrivi(c.p / k.nome, k.byte);
        sistema::LettoreVoci l(c.p / k.nome);
        CHECK(l.codifica() == k.codifica);
        CHECK(tutto(l) == k.testo);
    }
    // Held without read sharing for longer than the retries: permission denied.
    const fs::path tenuto = c.p / "tenuto.txt";
    scrivi(tenuto, "a\n");
    {
        const sistema::win32::Maniglia h(
            ::CreateFileW(tenuto.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(h.valida());
        CHECK(errore([&] { sistema::LettoreVoci l(tenuto); }) == 70);
    }
    // Held by a writer that lets others read: read as it is.
    {
        const sistema::win32::Maniglia h(::CreateFileW(tenuto.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
        sistema::LettoreVoci l(tenuto);
        CHECK(tutto(l) == "a\n");
    }
    // Cut by another program while read: an I/O error, not a shorter list.
    {
        const fs::path lungo = c.p / "lungo.txt";
        scrivi(lungo, std::string(1 << 20, 'a') + "\n");
        sistema::LettoreVoci l(lungo);
        CHECK(!l.prossimoPezzo(4096, 1 << 30).empty());
        const sistema::win32::Maniglia h(::CreateFileW(lungo.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                       0, nullptr));
        REQUIRE(h.valida());
        REQUIRE(::SetEndOfFile(h.get()));
        CHECK(errore([&] {
                  while (!l.prossimoPezzo(4096, 1 << 30).empty()) {
                  }
                  l.verifica();
              }) == 57);
    }
    CHECK(errore([&] { sistema::LettoreVoci l(c.p / "manca.txt"); }) == 53);
    CHECK(errore([&] { sistema::LettoreVoci l(c.p / "manca" / "a.txt"); }) == 76);
    CHECK(errore([&] { sistema::LettoreVoci l(c.p); }) == 75);
    CHECK(errore([&] { sistema::LettoreVoci l(fs::path(L"\\\\.\\NUL")); }) == 75);
}

TEST_CASE("long paths: a copy and a read past the old limit of 260 characters")
{
    Cartella c;
    fs::path profonda = c.p;
    for (int i = 0; i < 6; ++i) {
        profonda /= std::wstring(60, static_cast<wchar_t>(L'a' + i));
        REQUIRE(::CreateDirectoryW(sistema::win32::esteso(profonda).c_str(), nullptr));
    }
    const fs::path dest = profonda / L"NEW - LUNGO.TXT";
    REQUIRE(dest.native().size() > MAX_PATH);
    // A network path keeps its server and share under the prefix; a short
    // path stays as it is.
    const std::wstring cartelle = L"\\dati\\" + std::wstring(300, L'x');
    CHECK(sistema::win32::esteso(L"\\\\srv" + cartelle + L"\\y\\..\\a.txt") == L"\\\\?\\UNC\\srv" + cartelle + L"\\a.txt");
    CHECK(sistema::win32::esteso(L"\\\\srv\\dati\\y\\..\\a.txt") == L"\\\\srv\\dati\\a.txt");
    CHECK(sistema::win32::esteso(L"C:\\Dati\\a.txt") == L"C:\\Dati\\a.txt");
    copia(dest, "x\r\ny\r\n");
    sistema::LettoreVoci l(dest);
    CHECK(tutto(l) == "x\r\ny\r\n");
}

TEST_CASE("Windows errors map to the numbers the Linux build gives")
{
    const std::pair<DWORD, CodiceErrore> casi[] = {
        {ERROR_ACCESS_DENIED, CodiceErrore::AutorizzazioneNegata},
        {ERROR_SHARING_VIOLATION, CodiceErrore::AutorizzazioneNegata},
        {ERROR_WRITE_PROTECT, CodiceErrore::AutorizzazioneNegata},
        {ERROR_DISK_FULL, CodiceErrore::DiscoPieno},
        {ERROR_HANDLE_DISK_FULL, CodiceErrore::DiscoPieno},
        {ERROR_CRC, CodiceErrore::ErroreIO},
        {ERROR_NOT_ENOUGH_MEMORY, CodiceErrore::MemoriaEsaurita},
        {ERROR_INVALID_NAME, CodiceErrore::AccessoPercorso},
        {ERROR_BAD_NETPATH, CodiceErrore::PercorsoNonTrovato},
    };
    for (const auto& [codice, atteso] : casi) {
        CAPTURE(codice);
        CHECK(sistema::win32::codiceDaWindows(codice) == atteso);
    }
    const sistema::ErroreRuntime e = sistema::win32::daWindows(ERROR_DISK_FULL, L"C:\\Dati\\città.txt");
    CHECK(std::string(e.what()) == "Errore di run-time '61':\n\nDisco pieno\n\nC:\\Dati\\citt\xC3\xA0.txt");
}

TEST_CASE("the memory a run may take, from made-up readings")
{
    constexpr std::uint64_t G = std::uint64_t{1} << 30;
    struct Caso {
        const char* nome;
        sistema::win32::LettureMemoria l;
        std::uint64_t atteso;
    };
    using sistema::senzaLimite;
    const Caso casi[] = {
        {"half of what is available", {16 * G, 8 * G, 128 * G, 120 * G, senzaLimite, 0, senzaLimite, 0}, 4 * G},
        {"the job's limit per process", {16 * G, 8 * G, 128 * G, 120 * G, 3 * G, 1 * G, senzaLimite, 0}, 2 * G},
        {"the job's limit as a whole", {16 * G, 8 * G, 128 * G, 120 * G, senzaLimite, 0, 2 * G, G / 2}, 3 * G / 2},
        {"past the job's limit", {16 * G, 8 * G, 128 * G, 120 * G, G, 2 * G, senzaLimite, 0}, 0},
        {"the address space", {16 * G, 8 * G, 4 * G, 1 * G, senzaLimite, 0, senzaLimite, 0}, 1 * G},
        {"nothing available read", {16 * G, 0, 128 * G, 120 * G, senzaLimite, 0, senzaLimite, 0}, 8 * G},
    };
    for (const Caso& k : casi) {
        CAPTURE(k.nome);
        CHECK(sistema::win32::memoriaDaLetture(k.l) == k.atteso);
    }
    CHECK(sistema::memoriaDisponibile() > 0);
    CHECK(sistema::processoriDisponibili() >= 1);
}

TEST_CASE("names: Windows' upper case, the copy's name, the folder's entries")
{
    // The program folder as Windows reads it: a network one stays one.
    const std::pair<const wchar_t*, const wchar_t*> cartelle[] = {
        {L"\\\\srv\\share\\Fendrix\\", L"\\\\srv\\share\\Fendrix"},
        {L"C:\\Prog\\.\\x\\..\\", L"C:\\Prog"},
        {L"C:\\", L"C:\\"},
    };
    for (const auto& [data, attesa] : cartelle) {
        sistema::impostaCartellaProgramma(data);
        CHECK(sistema::cartellaProgramma() == fs::path(attesa));
        CHECK(sistema::cartellaDati().native() == fs::path(attesa).native() +
                                                       (std::wstring_view(attesa).ends_with(L'\\') ? L"" : L"\\") +
                                                       L"Shared\\Sistemi\\");
    }
    sistema::impostaCartellaProgramma({});
    CHECK(sistema::maiuscolo(L"città perché.txt") == fs::path(L"CITTÀ PERCHÉ.TXT"));
    // One letter for one, as Windows compares names: "ß" has no capital there.
    CHECK(sistema::maiuscolo(L"straße ǆ.txt") == fs::path(L"STRAßE Ǆ.TXT"));
    CHECK(stato::NomeDaPercorso(L"C:\\Dati\\estrazioni.txt") == fs::path(L"ESTRAZIONI.TXT"));
    CHECK(stato::NomeDaPercorso(L"C:\\Dati\\") == fs::path());
    Cartella c;
    scrivi(c.p / "A.TXT", "");
    scrivi(c.p / ".nascosto", "");
    scrivi(c.p / "n.txt", "");
    ::SetFileAttributesW((c.p / "n.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    fs::create_directory(c.p / "Sotto");
    CHECK(sistema::leggiCartella(c.p).file == std::vector<fs::path>{L"A.TXT"});
    CHECK(sistema::leggiCartella(c.p).cartelle == std::vector<fs::path>{L"Sotto"});
    CHECK(sistema::erroreCartella(c.p / "manca") == CodiceErrore::PercorsoNonTrovato);
    // A folder that cannot be read is an error, never an empty folder.
    try {
        sistema::leggiCartella(c.p / "manca");
        FAIL("a missing folder was read as empty");
    } catch (const sistema::ErroreRuntime& e) {
        CHECK(e.numero() == 76);
    }
    CHECK(sistema::cartellaEsistente(c.p / "manca" / "ancora") == c.p);
}

TEST_CASE("the folder list's chain from the root: drives, network shares, long paths")
{
    using Catena = std::vector<std::pair<std::wstring, std::wstring>>;
    const std::pair<const wchar_t*, Catena> righe[] = {
        {L"C:\\", {{L"C:\\", L"C:\\"}}},
        {L"C:\\Prog\\Shared\\Sistemi",
         {{L"C:\\", L"C:\\"}, {L"Prog", L"C:\\Prog"}, {L"Shared", L"C:\\Prog\\Shared"},
          {L"Sistemi", L"C:\\Prog\\Shared\\Sistemi"}}},
        {L"C:/Prog/", {{L"C:\\", L"C:\\"}, {L"Prog", L"C:\\Prog"}}},
        // A share is as far up as one can go on the network.
        {L"\\\\srv\\dati\\Fendrix",
         {{L"\\\\srv\\dati\\", L"\\\\srv\\dati\\"}, {L"Fendrix", L"\\\\srv\\dati\\Fendrix"}}},
        {L"\\\\srv\\dati", {{L"\\\\srv\\dati\\", L"\\\\srv\\dati\\"}}},
        {L"\\\\?\\C:\\a", {{L"\\\\?\\C:\\", L"\\\\?\\C:\\"}, {L"a", L"\\\\?\\C:\\a"}}},
        {L"\\\\?\\UNC\\srv\\dati\\a",
         {{L"\\\\?\\UNC\\srv\\dati\\", L"\\\\?\\UNC\\srv\\dati\\"}, {L"a", L"\\\\?\\UNC\\srv\\dati\\a"}}},
    };
    for (const auto& [cartella, attesa] : righe) {
        CAPTURE(fs::path(cartella).string());
        Catena catena;
        for (const win32::Anello& a : win32::catenaCartelle(cartella))
            catena.emplace_back(a.nome, a.percorso.native());
        CHECK(catena == attesa);
    }
}

TEST_CASE("a run's temporary file: read back, gone once closed")
{
    Cartella c;
    // Where runs go: the data folder unless it is a RAM disk, then the
    // user's temporary folder if that is on a disk.
    CHECK(!sistema::inMemoria(c.p));
    const auto corse = [&](auto suMemoria) { return sistema::cartellaCorse(c.p, suMemoria); };
    CHECK(corse([](const fs::path&) { return false; }).cartella == c.p);
    const sistema::CartellaCorse altrove = corse([&](const fs::path& p) { return p == c.p; });
    CHECK((altrove.cartella == fs::temp_directory_path() && !altrove.inMemoria));
    const sistema::CartellaCorse ovunque = corse([](const fs::path&) { return true; });
    CHECK((ovunque.cartella == c.p && ovunque.inMemoria));
    {
        sistema::FileTemporaneo t(c.p);
        const std::string dati(3 << 20, 'z');
        t.scrivi(dati.data(), dati.size());
        t.scrivi("fine", 4);
        std::string letti(8, '\0');
        CHECK(t.leggi(dati.size() - 4, letti.data(), 8) == 8);
        CHECK(letti == "zzzzfine");
        CHECK(t.leggi(dati.size() + 4, letti.data(), 8) == 0);
    }
    CHECK(c.nomi().empty());
}
