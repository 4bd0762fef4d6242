// Linked into every test program: the process-wide settings the program's
// main makes, made the same way before the tests' own main runs, so that
// the tests run with the program's allocator and signal handlers.
#include "sistema/Processo.h"

namespace {

const bool preparato = (sistema::preparaProcesso(), true);

}  // namespace
