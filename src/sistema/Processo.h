#pragma once

#include <csignal>

namespace sistema {

// The settings that hold for the whole process, made once, at start, before
// any thread: the program's main, the benchmark's and every test's call it
// (a second call does nothing). No object of the program changes them
// afterwards.
// - A file-size limit surfaces as a "disk full" error instead of killing
//   the process (SIGXFSZ ignored).
// - The allocator gives large blocks back to the system at once, and under
//   an address-space limit keeps one arena and stacks of 1 MiB.
// - SIGTERM, SIGINT and SIGHUP remove the copy's temporary file being
//   written, where it has a name, then end the
//   process by the signal, as it would have ended.
// - SIGBUS in a mapped piece of a file that shrank gives zeros and an I/O
//   error instead of ending the process (see LettoreVoci).
// A signal whose action is not the default one at start (ignored under
// nohup, or handled by whoever started the process) is left as it is.
// On Windows: the system's dialogs for a failing drive are turned off, so
// such a failure is an error of the run.
void preparaProcesso();

#ifndef _WIN32

// The process's SIGBUS handler of the mapped pieces of a file (see
// LettoreVoci), which preparaProcesso() installs; named here for the entry
// points and tests that look at the process's signal actions. Only the
// program's start includes this header, never the run or the core.
void gestoreFinestre(int segnale, siginfo_t* info, void* contesto);
#endif

}  // namespace sistema
