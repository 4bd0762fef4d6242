#pragma once

namespace host {

// Process set-up that every entry point (the program, the benchmark, test
// children) shares: a file-size limit must surface as a "disk full" error,
// not kill the process; memory freed after a run goes back to the system.
void preparaProcesso();

}  // namespace host
