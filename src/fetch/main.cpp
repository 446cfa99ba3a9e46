// nuve-fetch: one plain HTTP GET for the browser, its body on standard
// output (see core/util/read_url_helper.h).
#include <unistd.h>

#include "core/util/read_url_helper.h"

int main(int argc, char** argv) { return nuve::core::RunFetchHelper(argc, argv, STDOUT_FILENO); }
