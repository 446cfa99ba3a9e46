#pragma once
// A port on 127.0.0.1 that was free a moment ago: nothing listens there
// until a test binds it.

namespace nuve::test {

int FreeLoopbackPort();

}  // namespace nuve::test
