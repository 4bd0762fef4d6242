#pragma once

#include <cstddef>

namespace host {

// How much more memory this process may take now, in bytes: the least of
// the room left under its address-space and data limits, under its control
// group's memory limit, and half of the memory the system has available
// (half of the physical memory where that cannot be read). Measured, not
// configured: call it after the threads of a run have started, since they
// take address space of their own.
std::size_t memoriaDisponibile();

// How many more descriptors this process may open now: its limit of open
// files less those open.
std::size_t descrittoriDisponibili();

// How many processors this process may use: those of its CPU affinity,
// fewer when its control group's CPU quota allows fewer, at most 16.
unsigned processoriDisponibili();

}  // namespace host
