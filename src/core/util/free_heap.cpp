#include "core/util/free_heap.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace nuve::core {

bool ReturnFreeHeapPages() {
#if defined(__GLIBC__)
  return malloc_trim(0) == 1;
#else
  return false;  // other C libraries give free pages back by themselves
#endif
}

}  // namespace nuve::core
