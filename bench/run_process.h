// Whole processes for the benchmarks that time a program as a script runs
// it: the admin tool, one process per command.
#ifndef BRELLOX_BENCH_RUN_PROCESS_H_
#define BRELLOX_BENCH_RUN_PROCESS_H_

#include <string>
#include <vector>

namespace brellox {
namespace bench {

// Runs the program `words[0]` with the arguments `words`, its standard input
// read from `input` and its standard output (and, with `quiet_errors`, its
// error output) discarded, and waits for it. Its exit code; -1 when it could
// not start or did not exit.
int RunProcess(std::vector<std::string> words, const char* input = "/dev/null",
               bool quiet_errors = false);

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_RUN_PROCESS_H_
