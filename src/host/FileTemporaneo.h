#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace host {

// A temporary file with no name, in a given folder, for the sorted runs of
// a file that does not fit in memory: it is gone as soon as it is closed or
// the process ends, however it ends, so nothing is ever left behind. Where
// the file system cannot make unnamed files, a hidden file is made and its
// name removed at once. A failing write raises the run-time error of the
// folder (a full disk: 61).
class FileTemporaneo {
public:
    // The hidden name of that instant: this prefix and six letters or digits.
    static constexpr char prefissoNome[] = ".fendrix-";

    explicit FileTemporaneo(const QString& cartella);
    ~FileTemporaneo();
    FileTemporaneo(const FileTemporaneo&) = delete;
    FileTemporaneo& operator=(const FileTemporaneo&) = delete;

    void scrivi(const char* dati, std::size_t n);
    // Up to `n` bytes from offset `da`; fewer only at the end of the file.
    std::size_t leggi(std::uint64_t da, char* dati, std::size_t n);

private:
    QString cartella_;
    int fd_ = -1;
};

}  // namespace host
