// rvtool convert SOURCE DEST: writes a sequence or play list out as numbered images or one AVI,
// through the same frame sources and writers as the player's "Save Sequence".
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RvToolCommands.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "imaging/FrameDecoder.h"
#include "output/AviWriter.h"
#include "output/FrameSource.h"
#include "output/ImageEncoders.h"
#include "output/OutputNaming.h"
#include "output/PrefetchSource.h"
#include "output/SequenceWriter.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

const char kUsage[] =
    "convert SOURCE DEST [--range IN-OUT] [--start N] [--step N] [--pad N] [--crop SPEC]\n"
    "       [--resample SPEC] [--fps N] [--pulldown odd|even] [--intermediate N]\n"
    "       [--codec raw|mjpeg] [--quality Q]";

struct ConvertOptions {
  std::string source;
  std::string dest;
  std::optional<std::uint32_t> in, out;
  long start = 0;
  long step = 1;
  long pad = 4;
  std::optional<CRvCrop> crop;
  std::optional<CRvResample> resample;
  long fps = 24;
  int pulldown = -1;  // field order, -1 none
  long intermediate = 0;
  bool mjpeg = false;
  long quality = 90;
};

int BadArgument(const std::string& message) {
  std::fprintf(stderr, "rvtool convert: %s\nusage: rvtool %s\n", message.c_str(), kUsage);
  return 1;
}

bool ParseLong(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < low || v > high) return false;
  *value = v;
  return true;
}

template <class Spec>
bool ParseSpec(const std::string& value, std::optional<Spec>* result) {
  Spec spec;
  std::string text = value, error;
  int offset = 0;
  if (!spec.Parse(&text, &error, &offset) || text.find_first_not_of(' ') != std::string::npos)
    return false;
  *result = spec;
  return true;
}

// IN-OUT, IN, IN- or -OUT in frame numbers.
bool ParseRange(const std::string& text, ConvertOptions* o) {
  const std::size_t dash = text.find('-');
  const std::string inText = text.substr(0, dash);
  const std::string outText = dash == std::string::npos ? "" : text.substr(dash + 1);
  long v = 0;
  if (inText.empty() && outText.empty()) return false;
  if (!inText.empty()) {
    if (!ParseLong(inText, 0, 0xFFFFFFFEl, &v)) return false;
    o->in = std::uint32_t(v);
  }
  if (!outText.empty()) {
    if (!ParseLong(outText, 0, 0xFFFFFFFEl, &v)) return false;
    o->out = std::uint32_t(v);
  }
  return !(o->in && o->out && *o->out < *o->in);
}

bool ApplyOption(const std::string& name, const std::string& v, ConvertOptions* o) {
  if (name == "--range") return ParseRange(v, o);
  if (name == "--start") return ParseLong(v, 0, 0xFFFFFFFFl, &o->start);
  if (name == "--step") return ParseLong(v, 1, 1000000, &o->step);
  if (name == "--pad") return ParseLong(v, 0, 32, &o->pad);
  if (name == "--crop") return ParseSpec(v, &o->crop);
  if (name == "--resample") return ParseSpec(v, &o->resample);
  if (name == "--fps") return ParseLong(v, 1, 1000, &o->fps);
  if (name == "--intermediate") return ParseLong(v, 1, 1000, &o->intermediate);
  if (name == "--quality") return ParseLong(v, 1, 100, &o->quality);
  if (name == "--pulldown") {
    o->pulldown = v == "odd" ? 0 : v == "even" ? 1 : -2;
    return o->pulldown >= 0;
  }
  if (name == "--codec") {
    o->mjpeg = v == "mjpeg";
    return v == "raw" || v == "mjpeg";
  }
  return false;
}

void PrintHelp() {
  std::printf(
      "usage: rvtool %s\n\n"
      "Writes SOURCE out as numbered image files or one AVI file, with the frame sources and\n"
      "writers of the player's \"Save Sequence\".\n\n"
      "SOURCE  a frame path or pattern as the player's command line takes it (shot_0012.tif,\n"
      "        shot_#.tif), or a .rvpl play list.\n"
      "DEST    the output path; its extension picks the format: .avi, .tif, .bmp, .png, .jpg\n"
      "        (case ignored). Image files are named DEST's folder + DEST's stem + the number\n"
      "        zero-padded to --pad digits + the extension; missing folders are created.\n\n"
      "options:\n"
      "  --range IN-OUT      frame numbers to write (IN, IN- and -OUT also work)\n"
      "  --start N           number of the first image file (default 0)\n"
      "  --step N            added to the number for each further file (default 1, at least 1)\n"
      "  --pad N             digits of the number, zero padded (default 4)\n"
      "  --crop SPEC         crop each frame as the player does (\"10 20 300 200\", \"w50%%\")\n"
      "  --resample SPEC     then resample it (\"50%%\", \"720 576\")\n"
      "  --fps N             frame rate of the source (default 24); the AVI's rate is this\n"
      "                      after the converter (2:3 pull-down turns 24 into 30)\n"
      "  --pulldown odd|even 2:3 pull-down with that field order (odd: the earlier frame\n"
      "                      in the even rows)\n"
      "  --intermediate N    insert N weighted blends between each two frames\n"
      "  --codec raw|mjpeg   AVI: uncompressed 24-bit or Motion JPEG (default raw)\n"
      "  --quality Q         JPEG and Motion JPEG quality, 1-100 (default 90)\n\n"
      "On success prints \"N frames written to DEST\" (N output frames) and exits 0. When the\n"
      "writing fails the reason goes to stderr and the exit status is 2; a bad argument exits 1.\n"
      "On a terminal a progress line (frames done of total, frames per second, time left) is\n"
      "shown on stderr.\n",
      kUsage);
}

int Parse(const std::vector<std::string>& args, ConvertOptions* o) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (i + 1 >= args.size()) return BadArgument("missing value for " + a);
      if (!ApplyOption(a, args[i + 1], o))
        return BadArgument("bad option or value: " + a + " " + args[i + 1]);
      ++i;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return BadArgument("SOURCE and DEST are needed");
  if (o->pulldown >= 0 && o->intermediate > 0)
    return BadArgument("--pulldown and --intermediate cannot be combined");
  o->source = positional[0];
  o->dest = positional[1];
  return 0;
}

// Progress on a terminal: frames done of total, rate and time left, rewritten in place.
class TerminalProgress : public CRvWriteMonitor {
 public:
  explicit TerminalProgress(std::uint32_t total)
      : m_total(total), m_start(std::chrono::steady_clock::now()), m_shown(isatty(2) == 1) {}
  ~TerminalProgress() override {
    if (m_shown && m_printed) std::fprintf(stderr, "\n");
  }
  bool ServeUserInterface() override { return false; }
  void ShowProgress(std::uint32_t, std::uint32_t done) override {
    if (!m_shown || done == 0) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double fps = seconds > 0 ? done / seconds : 0.0;
    const double left = fps > 0 && m_total > done ? (m_total - done) / fps : 0.0;
    std::fprintf(stderr, "\r%u of %u frames, %.1f fps, %.0f s left   ", done, m_total, fps, left);
    m_printed = true;
  }

 private:
  std::uint32_t m_total;
  std::chrono::steady_clock::time_point m_start;
  bool m_shown;
  bool m_printed = false;
};

std::uint32_t FirstIndexAtOrAbove(const CRvPlayList& list, std::uint32_t number) {
  const std::uint32_t* numbers = list.GetFrameNumbers();
  for (std::uint32_t i = 0; numbers && i < list.GetFrameCount(); ++i)
    if (numbers[i] >= number) return i;
  return kRvNone;
}

std::uint32_t LastIndexAtOrBelow(const CRvPlayList& list, std::uint32_t number) {
  const std::uint32_t* numbers = list.GetFrameNumbers();
  std::uint32_t found = kRvNone;
  for (std::uint32_t i = 0; numbers && i < list.GetFrameCount(); ++i)
    if (numbers[i] <= number) found = i;
  return found;
}

bool EndsWithRvpl(const std::string& path) {
  std::string ext, drive, dir, name;
  SplitPath(path, &drive, &dir, &name, &ext);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".rvpl";
}

// Builds and numbers the play list; false with a message printed. A range holding no frame
// leaves *empty set: the writing then reports the empty play list itself.
bool LoadSource(const ConvertOptions& o, CRvPlayList* list, bool* empty) {
  const std::string path = strGetFullPath(o.source);
  if (EndsWithRvpl(path)) {
    std::string errors;
    if (!list->LoadFromFile(path, &errors)) {
      std::fprintf(stderr, "Failed to load playlist\n\n%s", errors.c_str());
      return false;
    }
  } else if (!list->AddSequenceByFile(path)) {
    std::fprintf(stderr, "Unable to open sequence %s\n", o.source.c_str());
    return false;
  }
  list->NumberFrames();
  const std::uint32_t in = o.in ? FirstIndexAtOrAbove(*list, *o.in) : 0;
  const std::uint32_t out = o.out ? LastIndexAtOrBelow(*list, *o.out) : list->GetFrameCount() - 1;
  *empty = in == kRvNone || out == kRvNone || out < in;
  if (*empty) return true;
  if (o.in) list->SetInPoint(in, true);
  if (o.out) list->SetOutPoint(out, true);
  return true;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    PrintHelp();
    return 0;
  }
  ConvertOptions o;
  if (const int status = Parse(args, &o)) return status;
  std::string drive, folder, stem, extension;
  SplitPath(o.dest, &drive, &folder, &stem, &extension);
  const int format = RvOutputFormatFromExtension(extension);
  if (format < 0 || stem.empty())
    return BadArgument("DEST must end in .avi, .tif, .bmp, .png or .jpg");
  if (!folder.empty() && !RvCreateDirectoryTree(drive + folder)) {
    std::fprintf(stderr, "Failed to generate directory tree:\n %s\n", (drive + folder).c_str());
    return 2;
  }

  CFrameDecoder decoder;
  CRvPlayList list, nothing;
  list.SetFrameDecoder(&decoder);
  bool empty = false;
  if (!LoadSource(o, &list, &empty)) return 2;

  // Each frame is read once: the cache need not keep more than the one being read.
  list.SetRAMPercent(0);

  const CRvCrop* crop = o.crop ? &*o.crop : nullptr;
  const CRvResample* resample = o.resample ? &*o.resample : nullptr;
  auto playListSource = std::make_unique<CRvPlayListSource>(empty ? &nothing : &list);
  const std::uint32_t inputFrames = playListSource->GetFrameCount();
  // The next frame is decoded while the current one is encoded.
  auto prefetch = std::make_unique<CRvPrefetchSource>(std::move(playListSource), crop, resample);
  const int option = o.pulldown >= 0 ? 3 : o.intermediate > 0 ? 2 : 0;
  std::unique_ptr<CRvFrameSource> source =
      RvMakeConverter(std::move(prefetch), option, o.pulldown, int(o.intermediate));
  const std::uint32_t rate = source->AdjustRate(std::uint32_t(o.fps));

  std::unique_ptr<CRvImageEncoder> encoder;
  std::unique_ptr<CRvSequenceWriter> writer;
  std::uint32_t start = std::uint32_t(o.start), step = std::uint32_t(o.step);
  if (format == kRvFormatAvi) {
    auto avi = std::make_unique<CRvAviWriter>();
    CRvAviCompression compression;
    compression.codec = o.mjpeg ? RvAviCodec::MotionJpeg : RvAviCodec::Uncompressed;
    compression.quality = int(o.quality);
    avi->SetCompression(compression);
    writer = std::move(avi);
    start = 0;  // an AVI numbers its frames itself
    step = 1;
  } else {
    encoder = RvMakeImageEncoder(format, int(o.quality));
    // The files keep DEST's extension as it was typed.
    writer = std::make_unique<CRvImageSequenceWriter>(encoder.get(), int(o.pad), extension);
  }

  std::string errors;
  std::uint32_t written = 0;
  bool ok = false;
  {
    TerminalProgress progress(source->AdjustRate(inputFrames));
    ok = WriteSequence(source.get(), o.dest, start, step, rate, crop, resample, writer.get(),
                       &errors, &progress, &written);
  }
  if (!errors.empty()) std::fprintf(stderr, "%s", errors.c_str());
  if (!ok) return 2;
  std::printf("%u frames written to %s\n", written, o.dest.c_str());
  return std::fflush(stdout) == 0 ? 0 : 2;
}
