#pragma once

#include "passi/Passi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A plain reference for the duplicate-removal run, written to be obviously
// right rather than fast, from the README's rules alone: it splits the text
// into lines and each line into fields with code of its own, none of the
// program's scanner, so a change to the program's delimiters or quoting
// shows as a difference. It searches from each item for a later repeat (so
// each distinct item survives at its last occurrence), sorts the survivors
// with the halving-gap Shell sort and builds the copy's bytes. Counts are
// 64-bit. The tests and the fuzzers compare the real run with it.
namespace oracolo {

struct Esito {
    std::int64_t letti = 0;      // items read
    std::int64_t eliminate = 0;  // items dropped
    bool copia = false;          // whether a copy is written
    std::string byte;            // the copy's bytes
    std::size_t corse = 0;       // sorted runs the real run wrote to disk
    std::size_t bloccoMassimo = 0;  // the largest block of lines the real run gave
    std::size_t memoriaMassima = 0;  // the most its budget held at once
};

// The items of `testo`, a file's bytes after any byte-order mark, in order:
// the fields that are not empty, without their leading and trailing spaces.
std::vector<std::string> voci(std::string_view testo);

// The run on the bytes of a file without a UTF-16 mark.
Esito esegui(std::string_view contenuto);

// The real run (the program's own reader and core) on the same bytes, in
// memory, up to the copy's bytes: what the tests hold against esegui().
// The options can force runs on disk, and their merging in passes.
Esito reale(std::string_view contenuto, const passi::Opzioni& opzioni = {});

// Three-way binary comparison: unsigned bytes, a proper prefix first.
int confronta(std::string_view a, std::string_view b);

}  // namespace oracolo
