#pragma once

#include "testo/Codifica.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace sistema {

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
    explicit ScrittoreRighe(const std::filesystem::path& destinazione, testo::Codifica codifica = testo::Codifica::Byte,
                            const std::filesystem::path& sorgente = {});
    ~ScrittoreRighe();
    ScrittoreRighe(const ScrittoreRighe&) = delete;
    ScrittoreRighe& operator=(const ScrittoreRighe&) = delete;

    // Text as the file wants it: as it is, or UTF-8 encoded as UTF-16.
    // A piece of text must end at a character's end.
    void scriviTesto(std::string_view testo);

    void completa();

private:
    class Impl;  // the system's own
    std::unique_ptr<Impl> impl_;
};

// Makes every writer use a named temporary file, as where the system has
// no unnamed ones (true), or go back to the usual choice (false). For tests.
void usaSoloTemporaneiConNome(bool si);

}  // namespace sistema
