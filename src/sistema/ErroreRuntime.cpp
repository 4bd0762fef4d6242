#include "sistema/ErroreRuntime.h"

#include "Interno.h"

#include <cerrno>
#include <new>
#include <system_error>

namespace sistema {

ErroreRuntime::ErroreRuntime(CodiceErrore codice, std::filesystem::path dettaglio)
    : codice_(codice), dettaglio_(std::move(dettaglio)), what_(descrizione())
{
}

std::string ErroreRuntime::testo() const
{
    switch (codice_) {
    case CodiceErrore::MemoriaEsaurita: return "Memoria esaurita";
    case CodiceErrore::ErroreInterno: return "Errore interno";
    case CodiceErrore::FileNonTrovato: return "Impossibile trovare il file";
    case CodiceErrore::ErroreIO: return "Errore di I/O della periferica";
    case CodiceErrore::DiscoPieno: return "Disco pieno";
    case CodiceErrore::AutorizzazioneNegata: return "Autorizzazione negata";
    case CodiceErrore::AccessoPercorso: return "Errore di accesso al percorso/file";
    case CodiceErrore::PercorsoNonTrovato: return "Impossibile trovare il percorso";
    }
    return "Errore sconosciuto";
}

std::string ErroreRuntime::descrizione() const
{
    std::string d = "Errore di run-time '" + std::to_string(numero()) + "':\n\n" + testo();
    if (!dettaglio_.empty())
        d += "\n\n" + interno::testoDelPercorso(dettaglio_);
    return d;
}

ErroreRuntime ErroreRuntime::daErrno(int numeroErrno, const std::filesystem::path& percorso)
{
    switch (numeroErrno) {
    case ENOENT: {
        // Is the folder that should hold it there?
        std::error_code errore;
        bool cartella = false;
        if (!percorso.empty()) {
            const std::filesystem::path assoluto = std::filesystem::absolute(percorso, errore).lexically_normal();
            cartella = !errore && std::filesystem::is_directory(assoluto.parent_path(), errore);
        }
        return ErroreRuntime(cartella ? CodiceErrore::FileNonTrovato : CodiceErrore::PercorsoNonTrovato, percorso);
    }
    case ENOTDIR:
        return ErroreRuntime(CodiceErrore::PercorsoNonTrovato, percorso);
    case EACCES:
    case EPERM:
    case EROFS:
        return ErroreRuntime(CodiceErrore::AutorizzazioneNegata, percorso);
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return ErroreRuntime(CodiceErrore::DiscoPieno, percorso);
    case EIO:
        return ErroreRuntime(CodiceErrore::ErroreIO, percorso);
    case ENOMEM:
        return ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso);
    default:
        return ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    }
}

ErroreRuntime ErroreRuntime::daEccezione(std::exception_ptr eccezione)
{
    try {
        std::rethrow_exception(std::move(eccezione));
    } catch (const ErroreRuntime& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ErroreRuntime(CodiceErrore::MemoriaEsaurita);
    } catch (const std::system_error& e) {
        const bool risorse = e.code() == std::errc::resource_unavailable_try_again ||
                             e.code() == std::errc::not_enough_memory;
        return risorse ? ErroreRuntime(CodiceErrore::MemoriaEsaurita) : daErrno(e.code().value(), {});
    } catch (...) {
        return ErroreRuntime(CodiceErrore::ErroreInterno);
    }
}

}  // namespace sistema
