#pragma once

// What the part of this library shared by every system asks of the
// implementation for the system the build is for (posix/ or win32/).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace sistema::interno {

// A path as the text of a message: its very bytes on Linux, UTF-8 on Windows.
std::string testoDelPercorso(const std::filesystem::path& percorso);

// The folder of the running executable.
std::filesystem::path cartellaEseguibile();

// A file open for reading, as the reader of items (LettoreVoci) reads it:
// the system opens it and moves its bytes; the reader does the rest.
class FileInLettura {
public:
    virtual ~FileInLettura() = default;
    FileInLettura(const FileInLettura&) = delete;
    FileInLettura& operator=(const FileInLettura&) = delete;

    // The size the file reported when opened.
    std::uint64_t dichiarata() const noexcept { return dichiarata_; }

    // Reads up to `n` bytes into `dove` from where the last read stopped:
    // fewer only at the end of the file. A failure is the file's run-time
    // error.
    virtual std::size_t leggi(char* dove, std::size_t n) = 0;

    // The file's size now; none where the system cannot tell.
    virtual std::optional<std::uint64_t> dimensioneOra() const noexcept = 0;

    // Where the system maps the file (Linux), a piece may view its bytes in
    // place instead of reading them. Each is a no-op where it does not.

    // Whether this file's pieces view its mapping.
    virtual bool mappabile() const noexcept { return false; }
    // A view of the `n` bytes at `da`; null where none can be made now.
    // It stays until the second nuovoPezzo after it.
    virtual const char* mappa(std::uint64_t /*da*/, std::size_t /*n*/) { return nullptr; }
    // Drops the view mappa() gave last: the piece is read after all.
    virtual void togliUltima() noexcept {}
    // The reader starts a piece: views of pieces before the last one go,
    // or all of them with `tutte` (the caller is done with every piece).
    virtual void nuovoPezzo(bool /*tutte*/) noexcept {}
    // Whether the file shrank under a view so far.
    virtual bool vistaTroncata() noexcept { return false; }
    // The next read starts at `da`, after a piece that viewed the file.
    virtual void riposiziona(std::uint64_t /*da*/) {}

protected:
    FileInLettura() = default;
    std::uint64_t dichiarata_ = 0;
};

// Opens `percorso` for reading. Only a regular file: a folder, a FIFO or a
// device is the run-time error 75 (AccessoPercorso) instead of blocking or
// reading forever; a failure to open is the file's own error.
std::unique_ptr<FileInLettura> apriInLettura(const std::filesystem::path& percorso);

// The memory of the reader's text buffers. allargaTesto gives a block of
// `nuovi` bytes (a multiple of 4096) that holds the `byte` bytes of `dati`
// first (null and 0 for a new block), or null when the system has no
// memory for it, leaving `dati` as it was. liberaTesto gives a block back.
char* allargaTesto(char* dati, std::size_t byte, std::size_t nuovi) noexcept;
void liberaTesto(char* dati, std::size_t byte) noexcept;

}  // namespace sistema::interno
