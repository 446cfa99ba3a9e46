#include "ui/app/heap_trimmer.h"

#include <gdkmm/frameclock.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>

#include "core/util/free_heap.h"

namespace nuve::ui {

HeapTrimmer::~HeapTrimmer() { timer_.disconnect(); }

void HeapTrimmer::Watch(Gtk::Window& window) {
  // A window gets a new frame clock each time it is realised.
  window.signal_realize().connect(sigc::track_obj([this, &window] { WatchFrames(window); }, *this));
  if (window.get_realized()) WatchFrames(window);
}

void HeapTrimmer::WatchFrames(Gtk::Window& window) {
  if (Glib::RefPtr<Gdk::FrameClock> clock = window.get_frame_clock()) {
    clock->signal_paint().connect(sigc::mem_fun(*this, &HeapTrimmer::TrimSoon));
  }
}

// Called for every frame: it only notes the time while a timer waits.
void HeapTrimmer::TrimSoon() {
  last_request_ = std::chrono::steady_clock::now();
  if (!timer_.connected()) Arm(kQuiet);
}

void HeapTrimmer::Arm(std::chrono::milliseconds after) {
  timer_ = Glib::signal_timeout().connect(sigc::mem_fun(*this, &HeapTrimmer::OnTimer),
                                          static_cast<unsigned>(after.count()), Glib::PRIORITY_LOW);
}

bool HeapTrimmer::OnTimer() {
  const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                            last_request_);
  if (quiet < kQuiet) {
    Arm(kQuiet - quiet);  // still painting: wait for the rest of the quiet time
    return false;
  }
  core::ReturnFreeHeapPages();
  ++trims_;
  return false;
}

}  // namespace nuve::ui
