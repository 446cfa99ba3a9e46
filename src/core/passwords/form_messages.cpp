#include "core/passwords/form_messages.h"

#include <cmath>

namespace nuve::core {
namespace {

// Positions beyond this are no place on any screen.
constexpr double kMaxCoordinate = 1e6;

bool IsUtf8(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) != FALSE;
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

// The parameters when they are exactly of `type`, small and in normal form
// (data from another process that is not in normal form reads as defaults
// in places, so it is refused rather than half read).
bool IsWellFormed(GVariant* parameters, const char* type) {
  if (parameters == nullptr) return false;
  if (!g_variant_type_equal(g_variant_get_type(parameters), G_VARIANT_TYPE(type))) return false;
  if (g_variant_get_size(parameters) > kMaxFormMessageBytes) return false;
  return g_variant_is_normal_form(parameters) != FALSE;
}

std::string StringAt(GVariant* tuple, gsize index) {
  GVariant* child = g_variant_get_child_value(tuple, index);
  gsize length = 0;
  const gchar* text = g_variant_get_string(child, &length);
  std::string out(text, length);
  g_variant_unref(child);
  return out;
}

std::uint32_t UintAt(GVariant* tuple, gsize index) {
  GVariant* child = g_variant_get_child_value(tuple, index);
  const std::uint32_t value = g_variant_get_uint32(child);
  g_variant_unref(child);
  return value;
}

bool IsCoordinate(double value, double low) {
  return std::isfinite(value) && value >= low && value <= kMaxCoordinate;
}

}  // namespace

bool IsSendableSignIn(std::string_view username, std::string_view password) {
  return username.size() <= kMaxUsernameBytes && IsUtf8(username) && !HasControlCharacter(username) &&
         !password.empty() && password.size() <= kMaxPasswordBytes && IsUtf8(password) &&
         password.find('\0') == std::string_view::npos;
}

std::optional<PageFormMessage> ReadPageFormMessage(std::string_view name, GVariant* parameters) {
  if (name == kSignInFormFound) {
    if (!IsWellFormed(parameters, "(u)")) return std::nullopt;
    const std::uint32_t form = UintAt(parameters, 0);
    if (form == 0) return std::nullopt;
    return SignInFormFound{form};
  }
  if (name == kSignInFieldFocused) {
    if (!IsWellFormed(parameters, "(u(dddd))")) return std::nullopt;
    SignInFieldFocused focused;
    g_variant_get(parameters, "(u(dddd))", &focused.form, &focused.x, &focused.y, &focused.width, &focused.height);
    if (focused.form == 0 || !IsCoordinate(focused.x, -kMaxCoordinate) ||
        !IsCoordinate(focused.y, -kMaxCoordinate) || !IsCoordinate(focused.width, 0) ||
        !IsCoordinate(focused.height, 0)) {
      return std::nullopt;
    }
    return focused;
  }
  if (name == kSignInSubmitted) {
    if (!IsWellFormed(parameters, "(ss)")) return std::nullopt;
    SignInSubmitted submitted{StringAt(parameters, 0), StringAt(parameters, 1)};
    if (!IsSendableSignIn(submitted.username, submitted.password)) return std::nullopt;
    return submitted;
  }
  return std::nullopt;
}

std::optional<FillSignIn> ReadFillSignIn(std::string_view name, GVariant* parameters) {
  if (name != kFillSignIn || !IsWellFormed(parameters, "(usss)")) return std::nullopt;
  FillSignIn fill{UintAt(parameters, 0), StringAt(parameters, 1), StringAt(parameters, 2), StringAt(parameters, 3)};
  if (fill.form == 0 || fill.origin.empty() || fill.origin.size() > kMaxUsernameBytes || !IsUtf8(fill.origin) ||
      !IsSendableSignIn(fill.username, fill.password)) {
    return std::nullopt;
  }
  return fill;
}

GVariant* SignInFormFoundParameters(std::uint32_t form) { return g_variant_new("(u)", form); }

GVariant* SignInFieldFocusedParameters(const SignInFieldFocused& focused) {
  return g_variant_new("(u(dddd))", focused.form, focused.x, focused.y, focused.width, focused.height);
}

GVariant* SignInSubmittedParameters(std::string_view username, std::string_view password) {
  if (!IsSendableSignIn(username, password)) return nullptr;
  return g_variant_new("(ss)", std::string(username).c_str(), std::string(password).c_str());
}

GVariant* FillSignInParameters(const FillSignIn& fill) {
  if (!IsSendableSignIn(fill.username, fill.password) || fill.origin.empty() ||
      fill.origin.size() > kMaxUsernameBytes || !IsUtf8(fill.origin)) {
    return nullptr;
  }
  return g_variant_new("(usss)", fill.form, fill.origin.c_str(), fill.username.c_str(), fill.password.c_str());
}

}  // namespace nuve::core
