// The heap's free pages go back to the system once the windows have stopped
// painting for a moment, never while they paint (an animation would pay for
// every frame), and a window that paints nothing wakes nobody.
#include "ui/app/heap_trimmer.h"

#include <gtest/gtest.h>
#include <gtkmm.h>

#include <chrono>

#include "window_test_support.h"

namespace nuve::test {
namespace {

TEST(HeapTrimmerTest, TrimsOnceTheWindowsAreQuietNeverWhileTheyPaint) {
  ui::HeapTrimmer trimmer;
  Gtk::Window window;
  Gtk::DrawingArea area;
  int frames = 0;
  area.set_draw_func([&](const Cairo::RefPtr<Cairo::Context>&, int, int) { ++frames; });
  area.set_size_request(200, 200);
  window.set_child(area);
  trimmer.Watch(window);
  window.present();

  // The first frames, then a quiet moment: one trim.
  ASSERT_TRUE(RunUntil([&] { return trimmer.trims() == 1; }, 5000));
  EXPECT_GT(frames, 0);
  EXPECT_FALSE(trimmer.waiting());

  // An animation that paints every frame for twice the quiet time: no trim
  // while it runs, one after it stopped.
  const int frames_before = frames;
  const auto until = std::chrono::steady_clock::now() + 2 * ui::HeapTrimmer::kQuiet;
  const guint tick = area.add_tick_callback([&](const Glib::RefPtr<Gdk::FrameClock>&) {
    area.queue_draw();
    return std::chrono::steady_clock::now() < until;
  });
  RunUntil([&] { return std::chrono::steady_clock::now() >= until; }, 10000);
  EXPECT_GT(frames - frames_before, 10) << "the animation painted";
  EXPECT_EQ(trimmer.trims(), 1) << "no trim while the window painted";
  ASSERT_TRUE(RunUntil([&] { return trimmer.trims() == 2; }, 5000));
  (void)tick;

  // A quiet window asks for nothing more.
  RunUntil([] { return false; }, static_cast<int>(2 * ui::HeapTrimmer::kQuiet.count()));
  EXPECT_EQ(trimmer.trims(), 2);
  EXPECT_FALSE(trimmer.waiting());
}

}  // namespace
}  // namespace nuve::test
