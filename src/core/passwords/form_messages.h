#pragma once
// The user messages between the program and NUVE's web process extension,
// which finds sign-in forms in the top page and fills them. Both sides build
// and read them here, and both take what arrives as untrusted: a message of
// another name or shape, one larger than kMaxFormMessageBytes, or one whose
// texts break their limits is dropped whole. No message names the page's
// site: the program takes it from the view's own address, and the
// extension checks the one the program names against its page.
//
//   extension -> program
//     kSignInFormFound     (u)        a sign-in form of the top page, by the number the extension gave it
//     kSignInFieldFocused  (u(dddd))  the user went into that form's username field; where it lies,
//                                     in CSS pixels of the viewport (x, y, width, height)
//     kSignInSubmitted     (ss)       the user sent a sign-in form: username ("" for none), password
//   program -> extension
//     kFillSignIn          (usss)     fill form u when the top page is still of origin s: username, password
//
// Only GLib is used, so the extension builds this file in as well.

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace nuve::core {

inline constexpr char kSignInFormFound[] = "nuve.sign-in-form-found";
inline constexpr char kSignInFieldFocused[] = "nuve.sign-in-field-focused";
inline constexpr char kSignInSubmitted[] = "nuve.sign-in-submitted";
inline constexpr char kFillSignIn[] = "nuve.fill-sign-in";

inline constexpr std::size_t kMaxFormMessageBytes = 4096;
inline constexpr std::size_t kMaxUsernameBytes = 1024;
inline constexpr std::size_t kMaxPasswordBytes = 1024;

struct SignInFormFound {
  std::uint32_t form = 0;
};

struct SignInFieldFocused {
  std::uint32_t form = 0;
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

struct SignInSubmitted {
  std::string username;
  std::string password;
};

using PageFormMessage = std::variant<SignInFormFound, SignInFieldFocused, SignInSubmitted>;

struct FillSignIn {
  std::uint32_t form = 0;
  std::string origin;
  std::string username;
  std::string password;
};

// Whether `username` and `password` fit a message: UTF-8 without control
// characters in the username, at most kMaxUsernameBytes; a password of 1 to
// kMaxPasswordBytes bytes of UTF-8.
bool IsSendableSignIn(std::string_view username, std::string_view password);

// A message of the extension, or nullopt for anything else (another name,
// another type, too large, not in normal form, a form number of 0, texts
// over their limits, a position that is not a finite number in range).
std::optional<PageFormMessage> ReadPageFormMessage(std::string_view name, GVariant* parameters);

// A fill request of the program, or nullopt for anything else.
std::optional<FillSignIn> ReadFillSignIn(std::string_view name, GVariant* parameters);

// The parameters of each message, as floating references; null when the
// texts do not fit (IsSendableSignIn), so nothing oversized is ever sent.
GVariant* SignInFormFoundParameters(std::uint32_t form);
GVariant* SignInFieldFocusedParameters(const SignInFieldFocused& focused);
GVariant* SignInSubmittedParameters(std::string_view username, std::string_view password);
GVariant* FillSignInParameters(const FillSignIn& fill);

}  // namespace nuve::core
