#pragma once
// The process-wide JSON document that the reply and record classes and the
// codec readers read through. It is shared by the user-interface thread and
// the keep-alive thread; JsonDoc serialises its own operations, so two
// queries never overlap on it.

#include "core/util/json_doc.h"

namespace nuve::core {

// Built on first use and kept until the process exits.
JsonDoc& SharedJson();

}  // namespace nuve::core
