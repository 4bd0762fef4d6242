#pragma once

// The Linux side of temporary files, shared by the runs' files and the
// copy's writer.
#include "sistema/FileTemporaneo.h"

#include "Descrittore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace sistema {

// A new temporary file in a folder: with no name where the file system can
// make unnamed files (O_TMPFILE), so it is gone as soon as it is closed or
// the process ends, however it ends; elsewhere, or when `conNome` asks for
// it, a new file with a name `nomeNuovo` makes (another name while that
// one is taken), which `nome` then tells.
struct Temporaneo {
    Descrittore file;
    std::string nome;  // empty for an unnamed file
};
// Made in `cartella` (a path, relative to the folder descriptor `base`,
// or to the working folder for AT_FDCWD), open with `accesso` (O_WRONLY or
// O_RDWR) and created with `modo`. A failure raises the run-time error of
// `perErrori`.
Temporaneo apriTemporaneo(int base, const std::string& cartella, int accesso, unsigned modo, bool conNome,
                          const std::function<std::string()>& nomeNuovo, const std::filesystem::path& perErrori);

// A random number, for the names of temporary files.
std::uint32_t casuale();

struct FileTemporaneo::File {
    Descrittore descrittore;
};

}  // namespace sistema
