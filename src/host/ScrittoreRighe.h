#pragma once

#include "host/Codifica.h"

#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace host {

// Sequential output of a text file, line by line, each line ended by CR LF.
//
// Nothing is written at the destination until completa(): the lines go to a
// hidden temporary file in the destination's folder, which completa()
// flushes to disk and renames over the destination in one step. Until then
// an earlier file of that name stays as it was; if anything fails, or the
// writer is destroyed without completa(), the temporary file is removed.
// Renaming replaces a symbolic link at the destination instead of writing
// through it, so the file it pointed to is never touched.
//
// Lines are given as bytes, or as UTF-8 for a UTF-16 file, which the writer
// encodes as it goes; the file starts with the encoding's mark.
class ScrittoreRighe {
public:
    explicit ScrittoreRighe(const QString& destinazione, Codifica codifica = Codifica::Byte);
    ~ScrittoreRighe();
    ScrittoreRighe(const ScrittoreRighe&) = delete;
    ScrittoreRighe& operator=(const ScrittoreRighe&) = delete;

    void scrivi(std::string_view byte);   // bytes as they are
    void scriviRiga(std::string_view riga) // the line and CR LF
    {
        if (utf16_ || riga.size() + 2 > spazio()) {
            scriviLungo(riga);
            return;
        }
        char* p = buffer_.get() + usati_;
        if (!riga.empty())
            std::memcpy(p, riga.data(), riga.size());
        p[riga.size()] = '\r';
        p[riga.size() + 1] = '\n';
        usati_ += riga.size() + 2;
    }

    void completa();

private:
    std::size_t spazio() const noexcept { return capacita - usati_; }
    void scriviLungo(std::string_view riga);
    void scriviTesto(std::string_view testo);  // encoded as the file wants
    void svuota();
    [[noreturn]] void fallisci(int numeroErrno);
    void abbandona() noexcept;

    static constexpr std::size_t capacita = std::size_t{1} << 20;

    bool utf16_ = false;
    bool bigEndian_ = false;
    QString destinazione_;
    QString temporaneo_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;  // the block being assembled
    std::size_t usati_ = 0;
};

}  // namespace host
