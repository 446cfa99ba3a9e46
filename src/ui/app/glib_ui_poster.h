#pragma once
// Hands work to the user-interface thread through an idle source on the
// default main context. (Glib::MainContext::invoke would run the task right
// away on the calling thread whenever that thread happens to own the context.)

#include "core/util/ui_poster.h"

namespace nuve::ui {

class GlibUiPoster : public core::UiPoster {
 public:
  void Post(std::function<void()> task) override;
};

}  // namespace nuve::ui
