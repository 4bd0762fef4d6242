#pragma once

#include <QString>

namespace host {

// The folder that holds the running program, without a trailing separator
// (except at the root).
QString cartellaProgramma();

// Makes cartellaProgramma() answer `cartella` instead of the executable's
// folder. Tests use it to give each run a data folder of its own.
void impostaCartellaProgramma(const QString& cartella);

// The data folder below the program folder, with a trailing separator:
// where the copies, and the runs of a file past memory, go.
QString cartellaDati();

}  // namespace host
