// nuve-fetch: one plain HTTP GET for the browser, its body on standard
// output (see core/util/read_url_helper.h).
#include <unistd.h>

#include <cstdlib>

#include "core/util/read_url_helper.h"

int main(int argc, char** argv) {
  // The browser's start-up trace is the browser's: marks of this process,
  // timed from its own start, would only muddle it.
  unsetenv("NUVE_TRACE_STARTUP");
  return nuve::core::RunFetchHelper(argc, argv, STDOUT_FILENO);
}
