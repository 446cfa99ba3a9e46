// Reads arbitrary bytes as the parameters of a message between the program
// and its web process extension, the way another process's message arrives
// (serialised data nobody has checked). The first byte picks the message's
// name and type; the rest is its data. What must hold on any input: nothing
// breaks, an accepted message keeps every limit, and building its
// parameters again gives a message that reads back exactly the same.

#include <glib.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "core/passwords/form_messages.h"

using namespace nuve::core;

namespace {

struct Kind {
  const char* name;
  const char* type;
};

constexpr Kind kKinds[] = {
    {kSignInFormFound, "(u)"},    {kSignInFieldFocused, "(u(dddd))"}, {kSignInSubmitted, "(ss)"},
    {kFillSignIn, "(usss)"},      {kSignInSubmitted, "(sss)"},        {"nuve.other", "(ss)"},
};

void Check(bool ok) {
  if (!ok) std::abort();
}

GVariant* Sunk(GVariant* v) { return v != nullptr ? g_variant_ref_sink(v) : nullptr; }

void CheckPageMessage(const PageFormMessage& message) {
  GVariant* again = nullptr;
  const char* name = nullptr;
  if (const auto* found = std::get_if<SignInFormFound>(&message)) {
    Check(found->form != 0);
    name = kSignInFormFound;
    again = Sunk(SignInFormFoundParameters(found->form));
  } else if (const auto* focused = std::get_if<SignInFieldFocused>(&message)) {
    Check(focused->form != 0 && std::isfinite(focused->x) && std::isfinite(focused->y) && focused->width >= 0 &&
          focused->height >= 0 && focused->width <= 1e6 && focused->height <= 1e6);
    name = kSignInFieldFocused;
    again = Sunk(SignInFieldFocusedParameters(*focused));
  } else {
    const auto& submitted = std::get<SignInSubmitted>(message);
    Check(IsSendableSignIn(submitted.username, submitted.password));
    name = kSignInSubmitted;
    again = Sunk(SignInSubmittedParameters(submitted.username, submitted.password));
  }
  Check(again != nullptr);
  const auto reread = ReadPageFormMessage(name, again);
  Check(reread.has_value() && reread->index() == message.index());
  if (const auto* submitted = std::get_if<SignInSubmitted>(&message)) {
    Check(std::get<SignInSubmitted>(*reread).username == submitted->username);
    Check(std::get<SignInSubmitted>(*reread).password == submitted->password);
  }
  g_variant_unref(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Kind& kind = kKinds[data[0] % (sizeof kKinds / sizeof kKinds[0])];
  GBytes* bytes = g_bytes_new(data + 1, size - 1);
  GVariant* parameters = Sunk(g_variant_new_from_bytes(G_VARIANT_TYPE(kind.type), bytes, FALSE));
  g_bytes_unref(bytes);

  if (const auto message = ReadPageFormMessage(kind.name, parameters)) {
    Check(g_variant_get_size(parameters) <= kMaxFormMessageBytes);
    CheckPageMessage(*message);
  }
  if (const auto fill = ReadFillSignIn(kind.name, parameters)) {
    Check(fill->form != 0 && !fill->origin.empty() && IsSendableSignIn(fill->username, fill->password));
    GVariant* again = Sunk(FillSignInParameters(*fill));
    Check(again != nullptr);
    const auto reread = ReadFillSignIn(kFillSignIn, again);
    Check(reread && reread->origin == fill->origin && reread->password == fill->password);
    g_variant_unref(again);
  }
  g_variant_unref(parameters);
  return 0;
}
