#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

namespace sistema {

// Whether the file system that holds `cartella` keeps its files in memory
// (tmpfs, ramfs, as statfs tells): what is written there takes the
// memory of the machine, and of the writer's control group, until it is
// removed.
bool inMemoria(const std::filesystem::path& cartella);

// Where the sorted runs of a file past memory go, for the data folder
// `dati`: that folder where its file system keeps its files on disk;
// otherwise the first of $TMPDIR (when set), /var/tmp and /tmp that is a
// folder on disk this process may write in. Where none is, the data folder
// all the same, and `inMemoria` says that the runs take memory. The file
// system's kind comes from `suMemoria` (inMemoria() but for tests).
struct CartellaCorse {
    std::filesystem::path cartella;
    bool inMemoria = false;
};
CartellaCorse cartellaCorse(const std::filesystem::path& dati,
                            const std::function<bool(const std::filesystem::path&)>& suMemoria = inMemoria);

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

    explicit FileTemporaneo(const std::filesystem::path& cartella);
    ~FileTemporaneo();
    FileTemporaneo(const FileTemporaneo&) = delete;
    FileTemporaneo& operator=(const FileTemporaneo&) = delete;

    void scrivi(const char* dati, std::size_t n);
    // Up to `n` bytes from offset `da`; fewer only at the end of the file.
    std::size_t leggi(std::uint64_t da, char* dati, std::size_t n);

private:
    struct File;  // the system's own
    std::filesystem::path cartella_;
    std::unique_ptr<File> file_;
};

}  // namespace sistema
