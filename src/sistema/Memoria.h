#pragma once

#include <cstddef>

namespace sistema {

// Blocks of memory taken straight from the system, in whole huge pages
// (`byte` a multiple of `allineamento`, itself the size of a huge page),
// aligned to one, and marked for huge pages where the system has them, so
// that filling a block faults a page in every huge page instead of every
// small one. The block takes no address space beyond its pages. Throws
// std::bad_alloc when the system has no room.
void* allocaPagine(std::size_t byte, std::size_t allineamento);

// Gives back a block allocaPagine() made, with the same `byte`.
void liberaPagine(void* p, std::size_t byte) noexcept;

}  // namespace sistema
