#pragma once

// The Linux writer behind ScrittoreRighe: what it holds while the copy is
// written.
#include "sistema/ScrittoreRighe.h"

#include "Descrittore.h"
#include "../BloccoCopia.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace sistema {

class ScrittoreRighe::Impl : public BloccoCopia {
public:
    Impl(const std::filesystem::path& destinazione, testo::Codifica codifica, const std::filesystem::path& sorgente);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void completa();

private:
    // The name the temporary file has in the folder, if any: removed when it
    // goes, unless released once renamed; a signal ending the process
    // removes it too (rimuoviSuSegnale).
    class NomeTemporaneo {
    public:
        NomeTemporaneo() = default;
        ~NomeTemporaneo() { rimuovi(); }
        NomeTemporaneo(const NomeTemporaneo&) = delete;
        NomeTemporaneo& operator=(const NomeTemporaneo&) = delete;
        void imposta(int cartella, const std::string& nome);
        const std::string& nome() const noexcept { return nome_; }
        void rilascia() noexcept;  // the name is gone (renamed): nothing to remove
        void rimuovi() noexcept;
    private:
        int cartella_ = -1;
        std::string nome_;
    };

    void emetti(const char* dati, std::size_t n) override;  // straight to the file
    void creaTemporaneo();
    bool controllaDestinazione();
    void impostaPermessi();
    int collega(const std::string& nome);  // 0 or the errno
    void nomina();
    [[noreturn]] void fallisci(int numeroErrno);

    // In this order (the block, a base, exists before any file does): the
    // name is removed, then the file closed, then the folder.
    std::uint64_t scritti_ = 0;        // bytes in the file
    std::uint64_t avviati_ = 0;        // of which the disk has been asked to take
    std::filesystem::path destinazione_;
    std::string nome_;         // the destination's name in its folder
    unsigned modoSorgente_;    // the source's permission bits
    bool sorgenteNota_ = false;  // its owner and group are known
    uid_t proprietarioSorgente_ = 0;
    gid_t gruppoSorgente_ = 0;
    unsigned modoPredefinito_ = 0;  // 0666 less the umask
    Descrittore cartella_;
    Descrittore file_;
    NomeTemporaneo temporaneo_;
};

}  // namespace sistema
