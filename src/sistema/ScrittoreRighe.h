#pragma once

#include "sistema/posix/Descrittore.h"
#include "testo/Codifica.h"

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace host {

// Sequential output of a text file, in pieces of text the caller makes
// (for the copy, lines each ended by CR LF).
//
// Nothing is written at the destination until completa(): the text goes to a
// temporary file in the destination's folder, which completa() flushes to
// disk and puts in place at once, then flushes the folder. Where the system
// allows it the temporary file has no name at all while it is written, so
// not even a killed process or a power cut leaves it behind, and where no
// file has the destination's name yet it is linked there directly; over an
// earlier file it gets a short hidden name and is renamed over it.
// Elsewhere it has a short hidden name from the start, and SIGTERM, SIGINT
// and SIGHUP remove it before the process ends by the signal (through the
// handlers preparaProcesso() installs at start; the writer installs none). While it has
// a name the writer holds an exclusive lock on it, and each writer, before
// it makes its own, removes from its folder the hidden temporary files of
// this program that nobody holds and nobody has changed for a minute (left
// by a killed process): a live writer's files are never touched.
//
// Until completa() an earlier file of that name stays as it was; if
// anything fails, or the writer is destroyed without completa(), nothing is
// left behind. Renaming replaces a symbolic link at the destination instead
// of writing through it, so the file it pointed to is never touched; an
// earlier file the user may not write is not replaced (AutorizzazioneNegata).
//
// The copy is never readable by anyone who cannot read `sorgente`. It keeps
// the earlier file's owner only when that owner may read the source (owns
// it, or the source is readable by others), and its group only when that
// group's members may read it (the source's group with its read right, or
// a source readable by others); otherwise it is the user's, in the user's
// group. Its mode starts from the earlier file's (from 0666 less the umask
// where there is none), loses the group's rights unless the copy's group
// may read the source and the others' unless the source is readable by
// others, and always keeps the owner's read and write rights. The mode is
// set last, so a default ACL of the folder has its mask cut the same way.
//
// Text is given as bytes, or as UTF-8 for a UTF-16 file, which the writer
// encodes as it goes; the file starts with the encoding's mark.
class ScrittoreRighe {
public:
    explicit ScrittoreRighe(const std::filesystem::path& destinazione, Codifica codifica = Codifica::Byte,
                            const std::filesystem::path& sorgente = {});
    ~ScrittoreRighe();
    ScrittoreRighe(const ScrittoreRighe&) = delete;
    ScrittoreRighe& operator=(const ScrittoreRighe&) = delete;

    // Text as the file wants it: as it is, or UTF-8 encoded as UTF-16.
    // A piece of text must end at a character's end.
    void scriviTesto(std::string_view testo);

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

    std::size_t spazio() const noexcept { return capacita - usati_; }
    void scrivi(std::string_view byte);   // bytes as they are
    void emetti(const char* dati, std::size_t n);  // straight to the file
    void svuota();
    void creaTemporaneo();
    bool controllaDestinazione();
    void impostaPermessi();
    int collega(const std::string& nome);  // 0 or the errno
    void nomina();
    [[noreturn]] void fallisci(int numeroErrno);

    static constexpr std::size_t capacita = std::size_t{1} << 20;

    // In this order: the buffer exists before any file does, and the name
    // is removed, then the file closed, then the folder.
    std::unique_ptr<char[]> buffer_;  // the block being assembled
    std::size_t usati_ = 0;
    std::uint64_t scritti_ = 0;        // bytes in the file
    std::uint64_t avviati_ = 0;        // of which the disk has been asked to take
    bool utf16_ = false;
    bool bigEndian_ = false;
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

// Makes every writer use a named temporary file, as where the system has
// no unnamed ones (true), or go back to the usual choice (false). For tests.
void usaSoloTemporaneiConNome(bool si);

}  // namespace host
