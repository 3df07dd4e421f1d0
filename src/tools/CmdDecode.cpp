#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "RvToolCommands.h"
#include "imaging/FrameDecoder.h"
#include "imaging/ImageFileWriter.h"

namespace {

const char kUsage[] = "decode FILE OUT [--repeat N]";

struct DecodeOptions {
  std::string input;
  std::string output;
  long repeat = 1;
};

// One entry per option taking a value; a new option is one more line here.
struct ValueOption {
  const char* name;
  const char* help;
  std::function<bool(DecodeOptions&, const std::string&)> apply;
};

bool ParseCount(const std::string& text, long* value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 1 || v > 1000000) return false;
  *value = v;
  return true;
}

const ValueOption kOptions[] = {
    {"--repeat", "decode N times (for timing); the last result is written",
     [](DecodeOptions& o, const std::string& v) { return ParseCount(v, &o.repeat); }},
};

bool EndsWith(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
        suffix[i])
      return false;
  return true;
}

// Returns 0 when the arguments are good, else the usage error's status.
int Parse(const std::vector<std::string>& args, DecodeOptions* options) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      const ValueOption* option = nullptr;
      for (const ValueOption& o : kOptions)
        if (a == o.name) option = &o;
      if (!option) {
        std::fprintf(stderr, "rvtool decode: unknown option '%s'\n", a.c_str());
        return UsageError(kUsage);
      }
      if (i + 1 >= args.size() || !option->apply(*options, args[i + 1])) {
        std::fprintf(stderr, "rvtool decode: bad value for %s\n", a.c_str());
        return UsageError(kUsage);
      }
      ++i;
      continue;
    }
    positional.push_back(a);
  }
  if (positional.size() != 2) return UsageError(kUsage);
  options->input = positional[0];
  options->output = positional[1];
  if (!EndsWith(options->output, ".pam") && !EndsWith(options->output, ".png")) {
    std::fprintf(stderr, "rvtool decode: OUT must end in .pam or .png\n");
    return UsageError(kUsage);
  }
  return 0;
}

}  // namespace

int RunDecode(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::printf(
        "usage: rvtool %s\n\nDecodes FILE the way the player does and writes the result as PAM\n"
        "(RGB_ALPHA, top row first) when OUT ends in .pam, or as RGBA PNG when it ends in .png.\n"
        "\noptions:\n",
        kUsage);
    for (const ValueOption& o : kOptions) std::printf("  %s N  %s\n", o.name, o.help);
    return 0;
  }
  DecodeOptions options;
  if (const int status = Parse(args, &options)) return status;

  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  try {
    for (long i = 0; i < options.repeat; ++i) decoder.DecodeFile(options.input, &bitmap);
  } catch (const CTextException& e) {
    std::string text = e.GetText();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::fprintf(stderr, "error %d: %s\n", e.GetCode(), text.c_str());
    return 2;
  }
  std::string error;
  const bool ok = EndsWith(options.output, ".pam") ? WritePAMFile(bitmap, options.output, &error)
                                                   : WritePNGFile(bitmap, options.output, &error);
  if (!ok) {
    std::fprintf(stderr, "rvtool decode: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
