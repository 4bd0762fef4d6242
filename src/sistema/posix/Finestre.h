#pragma once

#include <cstddef>
#include <cstdint>

// The windows of files mapped by the readers, where the SIGBUS handler finds
// them: a file that shrinks under a mapping makes its lost pages fault, and
// the handler puts a page of zeros there and marks the window, instead of
// the process ending.
namespace sistema::finestre {

// The system's page size.
extern const std::uintptr_t pagina;

// A place for the window [base, base + byte), the handler in place while
// any window is; -1 when all places are taken.
int registra(const char* base, std::size_t byte);

// Frees the place; true if the file shrank under its window.
bool cancella(int posto) noexcept;

// Whether the process's SIGBUS action is gestoreFinestre (sistema/Processo.h),
// installed once at start; where it is not, no piece is mapped.
bool protette() noexcept;

// Whether the file shrank under the window at `posto` so far.
bool colpita(int posto) noexcept;

}  // namespace sistema::finestre
