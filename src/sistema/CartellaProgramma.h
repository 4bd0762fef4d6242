#pragma once

#include <filesystem>

namespace sistema {

// The folder that holds the running program, without a trailing separator
// (except at the root).
std::filesystem::path cartellaProgramma();

// Makes cartellaProgramma() answer `cartella` instead of the executable's
// folder. Tests use it to give each run a data folder of its own.
void impostaCartellaProgramma(const std::filesystem::path& cartella);

// The data folder below the program folder, with a trailing separator:
// where the copies, and the runs of a file past memory, go.
std::filesystem::path cartellaDati();

}  // namespace sistema
