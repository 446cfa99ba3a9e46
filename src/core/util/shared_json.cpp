#include "core/util/shared_json.h"

namespace nuve::core {

JsonDoc& SharedJson() {
  // A function-local static is built once, thread-safely, on first use.
  static JsonDoc doc;
  return doc;
}

}  // namespace nuve::core
