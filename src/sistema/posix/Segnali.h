#pragma once

#include <string>

namespace sistema {

// The one named temporary file, `nome` in the folder open as `cartella`,
// that a signal ending the process removes first; true if it is now that
// file, false when another one is (only the first is covered). The
// descriptor must stay open until nonRimuovereSuSegnale().
bool rimuoviSuSegnale(int cartella, const std::string& nome);
// That file has gone, or has its final name: a signal leaves it.
void nonRimuovereSuSegnale(int cartella, const std::string& nome);

}  // namespace sistema
