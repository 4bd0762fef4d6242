#pragma once

#include "processing/Passi.h"

#include <cstdint>
#include <string>
#include <string_view>

// A plain reference for the duplicate-removal run, written to be obviously
// right rather than fast: it reads the items one by one, searches from each
// item for a later repeat (so each distinct item survives at its last
// occurrence), sorts the survivors with the halving-gap Shell sort and
// builds the copy's bytes. Counts are 64-bit. The tests and the fuzzer
// compare the real run with it.
namespace oracolo {

struct Esito {
    std::int64_t letti = 0;      // items read
    std::int64_t eliminate = 0;  // items dropped
    bool copia = false;          // whether a copy is written
    std::string byte;            // the copy's bytes
    std::size_t corse = 0;       // sorted runs the real run wrote to disk
};

// The run on the bytes of a file without a UTF-16 mark.
Esito esegui(std::string_view contenuto);

// The real run (the program's own reader and core) on the same bytes, in
// memory, up to the copy's bytes: what the tests hold against esegui().
// The options can force runs on disk, and their merging in passes.
Esito reale(std::string_view contenuto, const elaborazione::Opzioni& opzioni = {});

// Three-way binary comparison: unsigned bytes, a proper prefix first.
int confronta(std::string_view a, std::string_view b);

}  // namespace oracolo
