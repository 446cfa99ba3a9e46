#pragma once
// Gives the heap's free pages back to the system once the program has been
// quiet for a moment. The C library keeps freed memory for later, and it
// keeps large blocks in the heap once blocks of their size were freed: each
// frame a window paints replaces the web view's image of its page (some
// 5 MiB for a large window), and the images before it stay resident,
// freed, for as long as the program runs. Handing them back after every
// frame would cost an animation three times the processor time; handing
// them back once the windows stop painting costs about a millisecond.
//
// Every frame a watched window paints asks for a trim, and so does a window
// that closes; the trim runs once kQuiet has passed without a request.

#include <chrono>

#include <sigc++/connection.h>
#include <sigc++/trackable.h>

namespace Gtk {
class Window;
}

namespace nuve::ui {

class HeapTrimmer : public sigc::trackable {
 public:
  static constexpr std::chrono::milliseconds kQuiet{1000};

  HeapTrimmer() = default;
  ~HeapTrimmer();
  HeapTrimmer(const HeapTrimmer&) = delete;
  HeapTrimmer& operator=(const HeapTrimmer&) = delete;

  // The frames `window` paints ask for a trim, from its realisation on.
  void Watch(Gtk::Window& window);
  // A trim once kQuiet has passed without another request.
  void TrimSoon();
  bool waiting() const { return timer_.connected(); }
  // How many trims ran (for tests).
  int trims() const { return trims_; }

 private:
  void WatchFrames(Gtk::Window& window);
  void Arm(std::chrono::milliseconds after);
  bool OnTimer();

  sigc::connection timer_;
  std::chrono::steady_clock::time_point last_request_;
  int trims_ = 0;
};

}  // namespace nuve::ui
