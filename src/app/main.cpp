// Reelvane: a flipbook player for numbered image sequences.
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "app/RvApp.h"

namespace {

const char kUsage[] =
    "usage: reelvane [FRAME [IN[-OUT]] [-c CROP] [-r RESAMPLE] [-u]]\n"
    "       reelvane --help | -h | --version\n"
    "\n"
    "Plays the numbered image sequence that FRAME belongs to: every file in its folder whose\n"
    "name differs only in the frame number. FRAME may also be a pattern with # in place of\n"
    "the number. Without FRAME the load-sequence panel opens.\n"
    "\n"
    "  IN[-OUT]      in and out points as frame numbers (20 sets only the in point)\n"
    "  -c CROP       crop every frame: l10 r10, w50%, or LEFT TOP WIDTH HEIGHT\n"
    "  -r RESAMPLE   scale every frame: 50%, 720 576, h288\n"
    "  -u            accepted for compatibility, no effect\n"
    "\n"
    "example: reelvane /shots/shot_0001.tif 10-50 -c l10 r10 -r 50%\n"
    "\n"
    "keys: Space play/pause, Shift+Space play backwards, Left/Right step, Shift+I/Shift+O set\n"
    "the in/out points (I/O go to them), R/G/B/A single channels, keypad +/- zoom, Ctrl+Home\n"
    "fits the picture.\n"
    "\n"
    "Settings and logs live in $REELVANE_HOME when set, else beside the program when that\n"
    "folder is writable and not an installed copy, else in ~/.config/reelvane/.\n"
    "The full help is doc/index.html beside the program.\n";

// These are answered before the command-line grammar runs and without a QApplication, so they
// work on a machine with no display.
bool AnswerInfoOption(int argc, char** argv, int* exitCode) {
  if (argc < 2) return false;
  const char* option = argv[1];
  if (std::strcmp(option, "--version") == 0) {
    std::fputs("Reelvane " RV_VERSION "\n", stdout);
  } else if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
    std::fputs(kUsage, stdout);
  } else {
    return false;
  }
  *exitCode = std::fflush(stdout) == 0 ? 0 : 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (int exitCode = 0; AnswerInfoOption(argc, argv, &exitCode)) return exitCode;
  // Taken before Qt removes the options it understands itself.
  const std::string commandLine = BuildCommandLine(argc, argv);
  CRvApp app(argc, argv);
  return app.Run(commandLine);
}
