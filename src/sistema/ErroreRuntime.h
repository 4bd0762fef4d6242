#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <utility>

namespace sistema {

// The kinds of failure a file or memory operation can meet. Each kind has one
// number, which the program shows to the user and uses as its exit status.
enum class CodiceErrore : int {
    MemoriaEsaurita = 7,
    ErroreInterno = 51,
    FileNonTrovato = 53,
    ErroreIO = 57,
    DiscoPieno = 61,
    AutorizzazioneNegata = 70,
    AccessoPercorso = 75,
    PercorsoNonTrovato = 76,
};

// A run-time error: raised by the failing operation, handled by nobody on the
// way up, reported once at the top of an event handler (see GestioneErrori.h).
class ErroreRuntime : public std::exception {
public:
    explicit ErroreRuntime(CodiceErrore codice, std::filesystem::path dettaglio = {});

    // Maps a C library error number to the matching kind of failure.
    // `percorso` names the file involved; for a missing file, a missing parent
    // folder turns "file not found" into "path not found".
    static ErroreRuntime daErrno(int numeroErrno, const std::filesystem::path& percorso);

    // The run-time error an exception stands for, as an event handler reports
    // it: itself, or out of memory (std::bad_alloc, and a thread that cannot
    // start for want of resources), or a system error's kind, or an internal
    // error for anything else.
    static ErroreRuntime daEccezione(std::exception_ptr eccezione);

    int numero() const noexcept { return static_cast<int>(codice_); }
    std::string testo() const;           // the short Italian text of the kind, in UTF-8
    const std::filesystem::path& dettaglio() const noexcept { return dettaglio_; }  // usually the path
    // What the user is shown: the text in UTF-8 and the path as the system
    // names it (on Linux its bytes, which need not be UTF-8).
    std::string descrizione() const;

    const char* what() const noexcept override { return what_.c_str(); }

private:
    CodiceErrore codice_;
    std::filesystem::path dettaglio_;
    std::string what_;
};

// Runs one event handler of a front end. No C++ exception may cross a window
// system's event loop, so every handler runs through here: whatever it
// raises reaches `segnala` as the run-time error it stands for, once the
// stack has unwound (temporary files removed, files closed).
template <class Gestore, class Segnala>
void eseguiSegnalando(Gestore&& gestore, Segnala&& segnala) noexcept
{
    try {
        std::forward<Gestore>(gestore)();
    } catch (...) {
        std::forward<Segnala>(segnala)(ErroreRuntime::daEccezione(std::current_exception()));
    }
}

}  // namespace sistema
