// NUVE starts here: the command line is read before GTK starts, so --help
// and --version work without a display and GTK never sees the arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "core/app/command_line.h"
#include "core/app/config.h"
#include "core/app/startup_trace.h"
#include "core/app/window_title.h"
#include "ui/app/nuve_application.h"

int main(int argc, char* argv[]) {
  nuve::core::StartupMark("main");
  using nuve::core::StartRequest;
  std::vector<std::string> args(argv + 1, argv + argc);
  StartRequest start = nuve::core::ParseCommandLine(args);
  switch (start.action) {
    case StartRequest::Action::kHelp:
      std::fputs(nuve::core::UsageText().c_str(), stdout);
      return 0;
    case StartRequest::Action::kVersion:
      std::printf("%s\n", nuve::core::kProgramTitle);
      return 0;
    case StartRequest::Action::kRefuse:
      // Nothing opens: a proxy the user meant must never be silently skipped.
      std::fprintf(stderr, "nuve: %s\n", start.problem.c_str());
      return 2;
    case StartRequest::Action::kBrowse:
      break;
  }
  auto app = nuve::ui::NuveApplication::Create(nuve::core::Config::FromEnvironment(), std::move(start));
  // Only the program name reaches GApplication.
  char* no_args[] = {argv[0], nullptr};
  const int status = app->run(1, no_args);
  return status;
}
