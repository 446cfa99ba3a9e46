// The messages between the program and its web process extension: what
// each side builds reads back as sent, and anything of another shape or
// size is dropped whole, whatever the sending process put in it.
#include "core/passwords/form_messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace nuve::core {
namespace {

// Takes the floating reference, as WebKit does with a message's parameters.
struct Owned {
  explicit Owned(GVariant* v) : value(v != nullptr ? g_variant_ref_sink(v) : nullptr) {}
  ~Owned() {
    if (value != nullptr) g_variant_unref(value);
  }
  GVariant* value;
};

// Parameters as another process may send them: bytes of the type's
// serialised form, not checked by anyone yet.
Owned Untrusted(const char* type, const std::string& bytes) {
  GBytes* data = g_bytes_new(bytes.data(), bytes.size());
  GVariant* v = g_variant_new_from_bytes(G_VARIANT_TYPE(type), data, FALSE);
  g_bytes_unref(data);
  return Owned(v);
}

TEST(FormMessages, WhatEachSideBuildsReadsBackAsSent) {
  Owned found(SignInFormFoundParameters(7));
  auto read = ReadPageFormMessage(kSignInFormFound, found.value);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::get<SignInFormFound>(*read).form, 7u);

  Owned focused(SignInFieldFocusedParameters({3, 10.5, -20, 200, 30}));
  read = ReadPageFormMessage(kSignInFieldFocused, focused.value);
  ASSERT_TRUE(read);
  const auto& f = std::get<SignInFieldFocused>(*read);
  EXPECT_EQ(f.form, 3u);
  EXPECT_DOUBLE_EQ(f.x, 10.5);
  EXPECT_DOUBLE_EQ(f.y, -20) << "a field scrolled above the viewport";
  EXPECT_DOUBLE_EQ(f.height, 30);

  Owned submitted(SignInSubmittedParameters("用户@example.com", "p\"w' <&>\t密码"));
  read = ReadPageFormMessage(kSignInSubmitted, submitted.value);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::get<SignInSubmitted>(*read).username, "用户@example.com");
  EXPECT_EQ(std::get<SignInSubmitted>(*read).password, "p\"w' <&>\t密码");
  Owned no_username(SignInSubmittedParameters("", "pw"));
  EXPECT_TRUE(ReadPageFormMessage(kSignInSubmitted, no_username.value)) << "a form without a username field";

  Owned fill(FillSignInParameters({9, "https://a.test", "alice", "pw"}));
  const auto request = ReadFillSignIn(kFillSignIn, fill.value);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->form, 9u);
  EXPECT_EQ(request->origin, "https://a.test");
  EXPECT_EQ(request->username, "alice");
  EXPECT_EQ(request->password, "pw");
}

TEST(FormMessages, AnythingOfAnotherNameOrShapeIsDropped) {
  Owned pair(g_variant_new("(ss)", "u", "p"));
  EXPECT_FALSE(ReadPageFormMessage("nuve.sign-in-submitted-x", pair.value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInFormFound, pair.value)) << "the shape of another message";
  EXPECT_FALSE(ReadFillSignIn(kSignInSubmitted, pair.value)) << "the extension's message is no fill";
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, nullptr));
  Owned three(g_variant_new("(sss)", "u", "p", "https://evil.test"));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, three.value)) << "no room for a site in a message";
  Owned boxed(g_variant_new("(vv)", g_variant_new_string("u"), g_variant_new_string("p")));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, boxed.value));
  Owned zero(g_variant_new("(u)", 0u));
  EXPECT_FALSE(ReadPageFormMessage(kSignInFormFound, zero.value));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const SignInFieldFocused bad : {SignInFieldFocused{1, nan, 0, 10, 10}, SignInFieldFocused{1, 0, inf, 10, 10},
                                       SignInFieldFocused{1, 0, 0, -1, 10}, SignInFieldFocused{1, 0, 0, 10, 1e9},
                                       SignInFieldFocused{0, 0, 0, 10, 10}}) {
    Owned focused(SignInFieldFocusedParameters(bad));
    EXPECT_FALSE(ReadPageFormMessage(kSignInFieldFocused, focused.value)) << bad.x << " " << bad.width;
  }
  Owned no_origin(g_variant_new("(usss)", 1u, "", "u", "p"));
  EXPECT_FALSE(ReadFillSignIn(kFillSignIn, no_origin.value));
}

TEST(FormMessages, TextsOverTheirLimitsAreNeitherSentNorRead) {
  const std::string huge(100 * 1024, 'a');
  EXPECT_EQ(SignInSubmittedParameters(huge, "pw"), nullptr) << "a username of 100 KB is not sent";
  EXPECT_EQ(SignInSubmittedParameters("a\nb", "pw"), nullptr);
  EXPECT_EQ(FillSignInParameters({1, "https://a.test", "u", std::string(kMaxPasswordBytes + 1, 'p')}), nullptr);
  EXPECT_NE(SignInSubmittedParameters(std::string(kMaxUsernameBytes, 'u'), std::string(kMaxPasswordBytes, 'p')),
            nullptr);
  // What a misbehaving process could send all the same.
  for (const auto& [username, password] : {std::pair<std::string, std::string>{huge, "pw"},
                                           {std::string(kMaxUsernameBytes + 1, 'u'), "pw"},
                                           {"u", std::string(kMaxPasswordBytes + 1, 'p')},
                                           {"a\x01", "pw"},
                                           {"u", ""}}) {
    Owned raw(g_variant_new("(ss)", username.c_str(), password.c_str()));
    EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, raw.value)) << username.size() << " " << password.size();
  }
  // Within the text limits but over the size of a message.
  Owned big_fill(g_variant_new("(usss)", 1u, std::string(3000, 'o').c_str(), "u", "p"));
  EXPECT_FALSE(ReadFillSignIn(kFillSignIn, big_fill.value));
}

TEST(FormMessages, BytesThatAreNotInNormalFormAreDropped) {
  // "(ss)" serialised: "u\0p\0" and one framing offset byte (2, the end of
  // the first string). A wrong offset, a missing NUL, bytes that are not
  // UTF-8: the reader gets no half-read message.
  EXPECT_TRUE(ReadPageFormMessage(kSignInSubmitted, Untrusted("(ss)", std::string("u\0p\0\x02", 5)).value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, Untrusted("(ss)", std::string("u\0p\0\x09", 5)).value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, Untrusted("(ss)", std::string("u\0pX\x02", 5)).value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, Untrusted("(ss)", std::string("\xff\0p\0\x02", 5)).value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInSubmitted, Untrusted("(ss)", std::string()).value));
  EXPECT_FALSE(ReadPageFormMessage(kSignInFormFound, Untrusted("(u)", std::string("\x01\0\0", 3)).value));
}

}  // namespace
}  // namespace nuve::core
