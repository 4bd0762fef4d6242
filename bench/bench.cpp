// Runs on each file exactly the steps of EliminaDuplicati (read and dedupe,
// sort, write; no message box) and prints their times.
//
//   fendrix-bench FILE... [--out DIR] [--items FILE] [--memory SIZE]
//                 [--threads N] [--fan-in N]
//
// --out DIR      write "NEW - NAME" into DIR (otherwise into a temporary
//                folder that is removed at the end)
// --items FILE   also write the trimmed items of the (last) file, one per
//                line with LF, in file order: the input for `sort -u`
// --memory SIZE  the memory the run may use, in bytes (K, M, G suffixes),
//                instead of what the machine has: a small size forces the
//                sorted runs on disk
// --threads N    the number of threads instead of the processors available
// --fan-in N     how many runs one merge pass takes (default 64)
#include "testo/CampiTesto.h"
#include "testo/Codifica.h"
#include "sistema/CartellaProgramma.h"
#include "sistema/ErroreRuntime.h"
#include "sistema/LettoreVoci.h"
#include "sistema/Processo.h"
#include "passi/Passi.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <random>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Orologio = std::chrono::steady_clock;

double ms(Orologio::time_point da, Orologio::time_point a)
{
    return std::chrono::duration<double, std::milli>(a - da).count();
}

// The peak resident memory of this process's own image (VmHWM on Linux:
// unlike getrusage's, it does not carry the peak of the process that
// started it; the peak working set on Windows).
double piccoMb()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS uso{};
    uso.cb = sizeof uso;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &uso, sizeof uso))
        return 0;
    return static_cast<double>(uso.PeakWorkingSetSize) / (1 << 20);
#else
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0;
    char riga[256];
    double kb = 0;
    while (std::fgets(riga, sizeof riga, f) != nullptr)
        if (std::sscanf(riga, "VmHWM: %lf kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb / 1024.0;
#endif
}

std::size_t dimensione(const std::string& testo)
{
    std::string numero = testo;
    while (!numero.empty() && std::isspace(static_cast<unsigned char>(numero.back())))
        numero.pop_back();
    while (!numero.empty() && std::isspace(static_cast<unsigned char>(numero.front())))
        numero.erase(0, 1);
    std::size_t per = 1;
    if (!numero.empty()) {
        switch (std::toupper(static_cast<unsigned char>(numero.back()))) {
        case 'K': per = std::size_t{1} << 10; break;
        case 'M': per = std::size_t{1} << 20; break;
        case 'G': per = std::size_t{1} << 30; break;
        default: break;
        }
    }
    if (per != 1)
        numero.pop_back();
    bool ok = !numero.empty();
    for (const char c : numero)
        ok = ok && c >= '0' && c <= '9';
    const unsigned long long n = ok ? std::strtoull(numero.c_str(), nullptr, 10) : 0;
    if (n == 0)
        throw std::invalid_argument("not a size: " + testo);
    return static_cast<std::size_t>(n) * per;
}

// A name as the terminal can show it: each byte that is not valid UTF-8 as
// the replacement character.
std::string visibile(std::string_view nome)
{
    std::string s;
    while (!nome.empty()) {
        const int n = testo::sequenzaUtf8(nome);
        if (n == 0) {
            s += "\xEF\xBF\xBD";
            nome.remove_prefix(1);
        } else {
            s.append(nome.substr(0, static_cast<std::size_t>(n)));
            nome.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    return s;
}

// A temporary folder, removed with all it holds when it goes.
struct CartellaTemporanea {
    std::filesystem::path percorso;
#ifdef _WIN32
    CartellaTemporanea()
    {
        std::error_code errore;
        const std::filesystem::path base = std::filesystem::temp_directory_path(errore);
        std::random_device caso;
        for (int tentativo = 0; !errore && tentativo < 100; ++tentativo) {
            const std::filesystem::path p = base / ("fendrix-bench-" + std::to_string(caso()));
            if (std::filesystem::create_directory(p, errore)) {
                percorso = p;
                return;
            }
        }
    }
#else
    CartellaTemporanea()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string modello = (tmp != nullptr && *tmp != '\0' ? std::string(tmp) : std::string("/tmp")) +
                              "/fendrix-bench-XXXXXX";
        if (::mkdtemp(modello.data()) != nullptr)
            percorso = modello;
    }
#endif
    ~CartellaTemporanea()
    {
        std::error_code errore;
        if (!percorso.empty())
            std::filesystem::remove_all(percorso, errore);
    }
};

void scriviVoci(const std::filesystem::path& sorgente, const std::filesystem::path& percorso)
{
#ifdef _WIN32
    std::FILE* f = _wfopen(percorso.c_str(), L"wb");
#else
    std::FILE* f = std::fopen(percorso.c_str(), "wb");
#endif
    if (!f)
        throw std::runtime_error("cannot write " + percorso.string());
    sistema::LettoreVoci lettore(sorgente);
    std::string blocco;
    for (;;) {
        const std::string_view pezzo = lettore.prossimoPezzo(std::size_t{8} << 20, std::size_t{1} << 40);
        if (pezzo.empty())
            break;
        testo::CampiTesto campi(pezzo);
        while (!campi.fine()) {
            const std::string_view v = campi.prossimo();
            if (v.empty())
                continue;
            blocco.append(testo::CampiTesto::senzaSpazi(v)).push_back('\n');
            if (blocco.size() > (1 << 20)) {
                std::fwrite(blocco.data(), 1, blocco.size(), f);
                blocco.clear();
            }
        }
    }
    std::fwrite(blocco.data(), 1, blocco.size(), f);
    std::fclose(f);
}

// The arguments as the system gives them: on Linux their very bytes, which
// need not be valid UTF-8; on Windows UTF-16, whatever the code page.
std::vector<std::filesystem::path> argomenti([[maybe_unused]] int argc, [[maybe_unused]] char* argv[])
{
#ifdef _WIN32
    int n = 0;
    wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::filesystem::path> args;
    for (int i = 1; w != nullptr && i < n; ++i)
        args.emplace_back(w[i]);
    LocalFree(w);
    return args;
#else
    return {argv + 1, argv + argc};
#endif
}

// What a name shows: its bytes on Linux, UTF-8 on Windows.
std::string nomeVisibile(const std::filesystem::path& nome)
{
#ifdef _WIN32
    const std::u8string u = nome.u8string();
    return visibile(std::string(u.begin(), u.end()));
#else
    return visibile(nome.native());
#endif
}

}  // namespace

int main(int argc, char* argv[])
{
    sistema::preparaProcesso();
#ifdef _WIN32
    // The same bytes on both systems: LF line ends.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::filesystem::path> file;
    std::filesystem::path uscita;
    std::filesystem::path voci;
    passi::Opzioni opzioni;
    const std::vector<std::filesystem::path> args = argomenti(argc, argv);
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const bool valore = i + 1 < args.size();
            if (args[i] == "--out" && valore)
                uscita = args[++i];
            else if (args[i] == "--items" && valore)
                voci = args[++i];
            else if (args[i] == "--memory" && valore)
                opzioni.memoria = dimensione(args[++i].string());
            else if (args[i] == "--threads" && valore)
                opzioni.fili = static_cast<unsigned>(dimensione(args[++i].string()));
            else if (args[i] == "--fan-in" && valore)
                opzioni.fanIn = static_cast<unsigned>(dimensione(args[++i].string()));
            else
                file.emplace_back(args[i]);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: fendrix-bench FILE... [--out DIR] [--items FILE] [--memory SIZE] "
                             "[--threads N] [--fan-in N]\n");
        return 2;
    }

    // The copy goes to PROGRAM/Shared/Sistemi: a temporary program folder
    // whose data folder is DIR (through a link) or a folder of its own. On
    // Windows, where links need rights a user rarely has, the copy is moved
    // to DIR once written.
    const CartellaTemporanea programma;
    const std::filesystem::path dati = programma.percorso / "Shared" / "Sistemi";
#ifdef _WIN32
    std::error_code errore;
    const bool pronta = !programma.percorso.empty() && std::filesystem::create_directories(dati, errore) &&
                        (uscita.empty() || std::filesystem::is_directory(uscita, errore));
#else
    std::string destinazione = uscita.native();
    if (!destinazione.starts_with('/')) {
        char* qui = ::getcwd(nullptr, 0);
        destinazione = std::string(qui ? qui : ".") + '/' + destinazione;
        std::free(qui);
    }
    const bool pronta = !programma.percorso.empty() && ::mkdir((programma.percorso / "Shared").c_str(), 0777) == 0 &&
                        (uscita.empty() ? ::mkdir(dati.c_str(), 0777) == 0
                                        : ::symlink(destinazione.c_str(), dati.c_str()) == 0);
#endif
    if (!pronta) {
        std::fprintf(stderr, "cannot prepare the output folder\n");
        return 1;
    }
    sistema::impostaCartellaProgramma(programma.percorso);

    try {
        for (const std::filesystem::path& percorso : file) {
            if (!voci.empty())
                scriviVoci(percorso, voci);
            const auto t0 = Orologio::now();
            passi::Esecuzione righe(opzioni);
            testo::Codifica codifica;
            {
                sistema::LettoreVoci sorgente(percorso);
                righe.leggi(sorgente);
                codifica = sorgente.codifica();
            }
            const auto t1 = Orologio::now();
            const std::int64_t eliminate = righe.totale() - righe.uniche();
            auto t2 = t1;
            auto t3 = t1;
            if (eliminate > 0) {
                righe.ordina();
                t2 = Orologio::now();
                passi::scriviCopia(passi::percorsoCopia(percorso), righe, codifica, percorso);
                t3 = Orologio::now();
#ifdef _WIN32
                if (!uscita.empty()) {
                    const std::filesystem::path copia = passi::percorsoCopia(percorso);
                    const std::filesystem::path meta = uscita / copia.filename();
                    if (!MoveFileExW(copia.c_str(), meta.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
                        throw std::runtime_error("cannot move the copy to " + meta.string());
                }
#endif
            }
            std::printf("%s: items %lld kept %lld dropped %lld threads %u memory_mb %.0f runs %zu read_dedupe_ms %.1f "
                        "sort_ms %.1f write_ms %.1f total_ms %.1f peak_rss_mb %.1f\n",
                        nomeVisibile(percorso.filename()).c_str(), static_cast<long long>(righe.totale()),
                        static_cast<long long>(righe.uniche()), static_cast<long long>(eliminate), righe.fili(),
                        static_cast<double>(righe.memoria()) / (1 << 20), righe.corseScritte(), ms(t0, t1), ms(t1, t2), ms(t2, t3), ms(t0, t3), piccoMb());
            std::fflush(stdout);
        }
    } catch (const sistema::ErroreRuntime& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return e.numero();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "out of memory\n");
        return 7;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
