// Video and audio in pages: the formats of everyday sites play to their end,
// through a plain source and through Media Source Extensions; broken media
// gives the page its own error and the tab carries on.
#include <gtest/gtest.h>

#include <string>

#include "window_test_support.h"

namespace nuve::test {
namespace {

// What a page sees of a video: `<name> ended <width>x<height> audio <tracks>`
// when it played to its end, `<name> error <MediaError code>` when it failed.
// The script defines report(name, video) and starts nothing itself.
constexpr const char* kReport = R"(
window.report = function (name, v) {
  v.onended = function () {
    document.title = name + ' ended ' + v.videoWidth + 'x' + v.videoHeight + ' audio ' + v.audioTracks.length;
  };
  v.onerror = function () { document.title = name + ' error ' + (v.error ? v.error.code : '?'); };
  document.body.appendChild(v);
};)";

class MediaTest : public MainWindowTest {
 protected:
  ui::BrowserTab& OpenPage() {
    ui::MainWindow& window = Open(pages_->Url("/title/media"));
    ui::BrowserTab& tab = window.tab_strip().FirstTab();
    EXPECT_TRUE(WaitForTabTitle(tab, "media"));
    RunScript(tab.page().view(), kReport);
    return tab;
  }
  // Plays /media/<file> in a new video element. The call comes from the
  // program, not from a click, which the engine's autoplay policy allows.
  static void Play(ui::BrowserTab& tab, const std::string& file) {
    RunScript(tab.page().view(), "var v = document.createElement('video'); report('" + file + "', v); v.src = '/media/" +
                              file + "'; v.play().catch(function () {});");
  }
  // The fragmented MP4 appended through a SourceBuffer in one piece; the
  // stream ends when it is in, so the video can reach its end.
  static void PlayThroughMediaSource(ui::BrowserTab& tab, const std::string& file, const std::string& type) {
    RunScript(tab.page().view(), R"(
      (function (file, type) {
        if (!MediaSource.isTypeSupported(type)) { document.title = 'mse unsupported'; return; }
        var v = document.createElement('video');
        report('mse', v);
        var source = new MediaSource();
        source.addEventListener('sourceopen', function () {
          var buffer = source.addSourceBuffer(type);
          buffer.addEventListener('updateend', function () { source.endOfStream(); v.play(); }, {once: true});
          fetch('/media/' + file).then(function (r) { return r.arrayBuffer(); })
                                 .then(function (bytes) { buffer.appendBuffer(bytes); });
        });
        v.src = URL.createObjectURL(source);
      })(')" + file + "', '" + type +
                              "');");
  }
};

TEST_F(MediaTest, EverydayFormatsPlayToTheirEnd) {
  ui::BrowserTab& tab = OpenPage();
  // H.264/AAC needs the libav decoders; without them the video fails with
  // error 4 (MEDIA_ERR_SRC_NOT_SUPPORTED).
  Play(tab, "h264-aac.mp4");
  EXPECT_TRUE(WaitForTabTitle(tab, "h264-aac.mp4 ended 160x120 audio 1")) << tab.page().Title();
  Play(tab, "vp9-opus.webm");
  EXPECT_TRUE(WaitForTabTitle(tab, "vp9-opus.webm ended 160x120 audio 1")) << tab.page().Title();
  PlayThroughMediaSource(tab, "fragmented.mp4", "video/mp4; codecs=\\\"avc1.42C01E, mp4a.40.2\\\"");
  EXPECT_TRUE(WaitForTabTitle(tab, "mse ended 160x120 audio 1")) << tab.page().Title();
}

TEST_F(MediaTest, BrokenMediaGivesThePageItsOwnErrorAndTheTabCarriesOn) {
  ui::BrowserTab& tab = OpenPage();
  // A download cut short (no index), bytes that are no media, codecs nobody
  // knows: MEDIA_ERR_SRC_NOT_SUPPORTED each time, and the page lives on.
  for (const char* file : {"truncated.mp4", "garbage.mp4", "unknown-codec.mp4", "missing.mp4"}) {
    Play(tab, file);
    EXPECT_TRUE(WaitForTabTitle(tab, std::string(file) + " error 4")) << tab.page().Title();
  }
  RunScript(tab.page().view(), R"(
    var type = 'video/mp4; codecs="nuv0"';
    try { new MediaSource().addSourceBuffer(type); document.title = 'added'; }
    catch (e) { document.title = MediaSource.isTypeSupported(type) + ' ' + e.name; })");
  EXPECT_TRUE(WaitForTabTitle(tab, "false NotSupportedError")) << tab.page().Title();

  // The same page still plays what is sound, and the tab still loads pages.
  Play(tab, "h264-aac.mp4");
  EXPECT_TRUE(WaitForTabTitle(tab, "h264-aac.mp4 ended 160x120 audio 1")) << tab.page().Title();
  tab.page().Load(pages_->Url("/title/after"));
  EXPECT_TRUE(WaitForTabTitle(tab, "after")) << tab.page().Title();
}

}  // namespace
}  // namespace nuve::test
