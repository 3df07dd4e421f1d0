#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "RvToolCommands.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "imaging/FrameDecoder.h"
#include "imaging/ImageFileWriter.h"
#include "sequence/Frame.h"

namespace {

const char kUsage[] = "decode FILE OUT [--repeat N] [--crop SPEC] [--resample SPEC]";

struct DecodeOptions {
  std::string input;
  std::string output;
  long repeat = 1;
  std::optional<CRvCrop> crop;
  std::optional<CRvResample> resample;
};

// One entry per option taking a value; a new option is one more line here.
struct ValueOption {
  const char* name;
  const char* value;  // what the help calls the value
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

// Parses a crop or resample specifier that must make up the whole value.
template <class Spec>
bool ParseSpec(const char* option, const std::string& value, std::optional<Spec>* result) {
  Spec spec;
  std::string text = value;
  std::string error;
  int offset = 0;
  if (!spec.Parse(&text, &error, &offset)) {
    std::fprintf(stderr, "rvtool decode: %s: %s (at offset %d)\n", option, error.c_str(), offset);
    return false;
  }
  if (text.find_first_not_of(' ') != std::string::npos) {
    std::fprintf(stderr, "rvtool decode: %s: unexpected '%s'\n", option, text.c_str());
    return false;
  }
  *result = spec;
  return true;
}

const ValueOption kOptions[] = {
    {"--repeat", "N", "decode N times (for timing); the last result is written",
     [](DecodeOptions& o, const std::string& v) { return ParseCount(v, &o.repeat); }},
    {"--crop", "SPEC", "crop each decoded frame as the player does (\"10 20 300 200\", \"w50%\")",
     [](DecodeOptions& o, const std::string& v) { return ParseSpec("--crop", v, &o.crop); }},
    {"--resample", "SPEC", "then resample it as the player does (\"50%\", \"720 576\")",
     [](DecodeOptions& o, const std::string& v) {
       return ParseSpec("--resample", v, &o.resample);
     }},
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
    for (const ValueOption& o : kOptions) std::printf("  %s %s  %s\n", o.name, o.value, o.help);
    return 0;
  }
  DecodeOptions options;
  if (const int status = Parse(args, &options)) return status;

  CFrameDecoder decoder;
  CDIBSectionBitmap decoded;
  const CImageBitmap* bitmap = &decoded;
  // With a crop or resample the frame goes through the same load the frame cache uses.
  std::optional<CRvFrame> frame;
  try {
    if (options.crop || options.resample) {
      frame.emplace(options.input, 0, 0, 0);
      int width = 0;
      int height = 0;
      for (long i = 0; i < options.repeat; ++i) {
        if (!frame->Load(&decoder, options.crop ? &*options.crop : nullptr,
                         options.resample ? &*options.resample : nullptr, &width, &height)) {
          // The load keeps no reason; a plain decode shows the decoder's, if it was the decoder.
          decoder.DecodeFile(options.input, &decoded);
          std::fprintf(stderr, "rvtool decode: crop or resample failed (out of memory?)\n");
          return 2;
        }
      }
      bitmap = frame->GetBitmap();
    } else {
      for (long i = 0; i < options.repeat; ++i) decoder.DecodeFile(options.input, &decoded);
    }
  } catch (const CTextException& e) {
    std::string text = e.GetText();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::fprintf(stderr, "error %d: %s\n", e.GetCode(), text.c_str());
    return 2;
  }
  std::string error;
  const bool ok = EndsWith(options.output, ".pam") ? WritePAMFile(*bitmap, options.output, &error)
                                                   : WritePNGFile(*bitmap, options.output, &error);
  if (!ok) {
    std::fprintf(stderr, "rvtool decode: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
