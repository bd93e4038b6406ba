#include "host/run/preview_animation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>

#if defined(TARROW_HAVE_CAIRO) && defined(TARROW_HAVE_GIF)
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <cairo.h>
#include <gif_lib.h>

#include "host/run/preview_paint.h"
#endif

namespace tarrow::host {

namespace {

constexpr int kMaxImages = 120;
constexpr int kMinDelay = 2;  // hundredths of a second; viewers slow shorter ones down

// The step between the frames shown.
int strideOf(int first, int last, double fps) {
  const long long count = static_cast<long long>(last) - first + 1;
  const long long byCount = (count + kMaxImages - 1) / kMaxImages;
  const auto bySpeed = static_cast<long long>(std::ceil(kMinDelay * fps / 100.0 - 1e-9));
  return static_cast<int>(std::max({1LL, byCount, bySpeed}));
}

}  // namespace

std::vector<int> animationFrames(int first, int last, double fps) {
  std::vector<int> frames;
  const int stride = strideOf(first, last, fps);
  for (long long frame = first; frame <= last; frame += stride) frames.push_back(static_cast<int>(frame));
  if (frames.empty() || frames.back() != last) frames.push_back(last);
  return frames;
}

#if defined(TARROW_HAVE_CAIRO) && defined(TARROW_HAVE_GIF)

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;
constexpr double kText = 12.0;
constexpr double kMargin = 24.0;
constexpr double kHeader = 28.0;
constexpr double kFill = 0.22;

// The deformed objects' colours, one each in scene order (again from the first after the last);
// each object's pivot is ringed in its colour.
constexpr Colour kObjectColours[] = {
    {0.93, 0.40, 0.12}, {0.20, 0.45, 0.85}, {0.58, 0.25, 0.65}, {0.10, 0.55, 0.35}};

// Index 0 marks the pixels an image leaves as the one before it showed; the others are the
// paper and blends of it with each colour drawn, which is what antialiased drawing over the
// paper makes.
constexpr int kKeep = 0;

std::array<GifColorType, 256> palette() {
  std::array<GifColorType, 256> colours{};
  size_t next = 0;
  auto add = [&](const Colour& c) {
    colours[next++] = {static_cast<GifByteType>(std::lround(c.r * 255)),
                       static_cast<GifByteType>(std::lround(c.g * 255)),
                       static_cast<GifByteType>(std::lround(c.b * 255))};
  };
  auto ramp = [&](const Colour& to, int steps) {
    for (int i = 1; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      add({kPaper.r + (to.r - kPaper.r) * t, kPaper.g + (to.g - kPaper.g) * t,
           kPaper.b + (to.b - kPaper.b) * t});
    }
  };
  add(kPaper);  // kKeep
  add(kPaper);
  ramp(kInk, 48);
  ramp(kNeutral, 32);
  for (const Colour& c : kObjectColours) ramp(c, 32);
  for (const Colour& c : {kAxisX, kAxisY, kAxisZ}) ramp(c, 15);
  return colours;
}

}  // namespace

struct PreviewAnimation::Writer {
  Writer(const std::filesystem::path& file, const Scene& sceneIn, const PreviewPlan& planIn,
         const PreviewView& viewIn, const PreviewLabels& labelsIn, int first, int last)
      : scene(sceneIn),
        plan(planIn),
        view(viewIn),
        labels(labelsIn),
        frames(animationFrames(first, last, sceneIn.fps)),
        title(sceneIn.file.stem().string()) {
    view.fitInto(kMargin, kHeader + kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin - kHeader);
    delays = imageDelays(frames, first, last, scene.fps);
    colours = palette();
    nearest = nearestColours(colours);
    open(file);
    if (reason.empty()) drawBase(first, last);
  }

  // Each image lasts as long as the frames it stands for: from its frame to the next image's,
  // the last one to the end of the last frame. No image is held longer before the loop.
  static std::vector<int> imageDelays(const std::vector<int>& frames, int first, int last, double fps) {
    auto at = [&](long long frame) { return std::llround((frame - first) * 100.0 / fps); };
    std::vector<int> delays;
    for (size_t i = 0; i < frames.size(); ++i) {
      const long long end = i + 1 < frames.size() ? frames[i + 1] : static_cast<long long>(last) + 1;
      delays.push_back(static_cast<int>(std::clamp<long long>(at(end) - at(frames[i]), kMinDelay, 65535)));
    }
    return delays;
  }

  // For each colour of 15 bits, the palette's nearest drawing colour (never kKeep).
  static std::array<GifPixelType, 32768> nearestColours(const std::array<GifColorType, 256>& colours) {
    std::array<GifPixelType, 32768> nearest{};
    for (int bin = 0; bin < 32768; ++bin) {
      const int r = ((bin >> 10) & 31) * 8 + 4;
      const int g = ((bin >> 5) & 31) * 8 + 4;
      const int b = (bin & 31) * 8 + 4;
      int best = 1;
      int bestDistance = 1 << 30;
      for (int i = 1; i < 256; ++i) {
        const int dr = r - colours[i].Red, dg = g - colours[i].Green, db = b - colours[i].Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
          best = i;
          bestDistance = distance;
        }
      }
      nearest[static_cast<size_t>(bin)] = static_cast<GifPixelType>(best);
    }
    return nearest;
  }

  // The file, the GIF's screen and its looping, and the surface to draw on; a failure is kept
  // in reason.
  void open(const std::filesystem::path& file) {
    // Opened here rather than by giflib, so that the file gets the usual permissions.
    out = std::fopen(file.string().c_str(), "wb");
    if (out == nullptr) {
      reason = "cannot be written: " + std::string(std::strerror(errno));
      return;
    }
    int error = 0;
    gif = EGifOpen(out, writeBytes, &error);
    if (gif == nullptr) {
      fail(error);
      return;
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    const int described = EGifPutScreenDesc(gif, kWidth, kHeight, 8, 1, map);
    GifFreeMapObject(map);
    if (described != GIF_OK) {
      fail(gif->Error);
      return;
    }
    // Loop for ever.
    const GifByteType loop[3] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_OK ||
        EGifPutExtensionBlock(gif, 3, loop) != GIF_OK || EGifPutExtensionTrailer(gif) != GIF_OK) {
      fail(gif->Error);
      return;
    }
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  }

  ~Writer() {
    if (gif != nullptr) {
      int ignored = 0;
      EGifCloseFile(gif, &ignored);
    }
    if (out != nullptr) std::fclose(out);
    if (surface != nullptr) cairo_surface_destroy(surface);
    if (base != nullptr) cairo_surface_destroy(base);
  }

  static int writeBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    return static_cast<int>(
        std::fwrite(bytes, 1, static_cast<size_t>(count), static_cast<std::FILE*>(gif->UserData)));
  }

  void fail(int error) {
    if (reason.empty()) reason = std::string("cannot be written: ") + GifErrorString(error);
  }

  // What every image shares: the paper, the ground, the paths, the axes and the view's name.
  void drawBase(int first, int last) {
    base = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(base);
    cairo_set_source_rgb(cr, kPaper.r, kPaper.g, kPaper.b);
    cairo_paint(cr);
    PreviewPainter paint(cr, view, labels, kText);
    const std::string grid = paint.ground(kWidth, kHeight);
    paint.paths(projectPaths(view, scene, plan, first, last));
    const Point2 corner{kWidth - 44.0, kHeight - 34.0};
    paint.tripod(corner);
    paint.text({corner.x - 22.0 - paint.textWidth(grid), corner.y + 4.0}, grid, kInk);
    const std::string& name = view.fromRenderCamera() ? labels.renderCamera : labels.defaultView;
    paint.text({kWidth - 12.0 - paint.textWidth(name), 20.0}, name, kInk);
    cairo_destroy(cr);
  }

  void draw(int frame, const DrawnPoints& points) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_surface(cr, base, 0, 0);
    cairo_paint(cr);
    PreviewPainter paint(cr, view, labels, kText);
    auto at = [&](int item) { return scene.worldPlacement(item, frame / scene.fps).position; };
    for (size_t k = 0; k < plan.items.size(); ++k) {
      const DrawnItem& item = plan.items[k];
      if (item.kind == DrawnKind::kStill) paint.mesh(item, points[k], kNeutral, kFill);
    }
    for (size_t k = 0; k < plan.items.size(); ++k) {
      const DrawnItem& item = plan.items[k];
      if (item.kind != DrawnKind::kDeformed) continue;
      paint.mesh(item, points[k], colourOf(item.deformed), kFill);
      paint.dot(at(item.item), kInk, 2.5);
    }
    for (const DrawnItem& item : plan.items) {
      if (item.kind == DrawnKind::kMarker) paint.marker(at(item.item), kInk);
    }
    for (const DrawnPivot& pivot : plan.pivots) paint.ring(at(pivot.item), colourOf(pivot.deformed));
    for (const DrawnItem& item : plan.items) {
      paint.name(at(item.item), scene.items[static_cast<size_t>(item.item)].name,
                 item.kind == DrawnKind::kStill ? kNeutral : kInk);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", frame / scene.fps);
    paint.text({12.0, 20.0}, fillLabel(labels.animationTitle, {title, std::to_string(frame), seconds}), kInk,
               true);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
  }

  static Colour colourOf(int deformed) {
    constexpr auto kCount = std::size(kObjectColours);
    return kObjectColours[static_cast<size_t>(deformed) % kCount];
  }

  // The drawn picture in palette indices.
  void index() {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    current.resize(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
      for (int x = 0; x < kWidth; ++x) {
        const std::uint32_t p = row[x];
        const unsigned bin = ((p >> 19) & 31) << 10 | ((p >> 11) & 31) << 5 | ((p >> 3) & 31);
        current[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = nearest[bin];
      }
    }
  }

  void add(int frame, const DrawnPoints& points) {
    if (!reason.empty()) return;
    if (next >= frames.size() || frames[next] != frame) {
      reason = "frame " + std::to_string(frame) + " was drawn out of order";
      return;
    }
    draw(frame, points);
    index();

    // The first image is whole; each later one only the rectangle that changed, its
    // unchanged pixels left to show the image before.
    int left = 0, top = 0, right = kWidth - 1, bottom = kHeight - 1;
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = delays[next];
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    if (next > 0) {
      control.TransparentColor = kKeep;
      left = kWidth, top = kHeight, right = -1, bottom = -1;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const size_t i = static_cast<size_t>(y) * kWidth + static_cast<size_t>(x);
          if (current[i] == previous[i]) continue;
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
      }
      if (right < 0) left = top = right = bottom = 0;  // nothing changed: one kept pixel
    }
    patch.clear();
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        const size_t i = static_cast<size_t>(y) * kWidth + static_cast<size_t>(x);
        patch.push_back(next > 0 && current[i] == previous[i] ? static_cast<GifPixelType>(kKeep)
                                                              : current[i]);
      }
    }
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    const int width = right - left + 1;
    const int height = bottom - top + 1;
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK ||
        EGifPutImageDesc(gif, left, top, width, height, false, nullptr) != GIF_OK ||
        EGifPutLine(gif, patch.data(), width * height) != GIF_OK) {
      return fail(gif->Error);
    }
    previous.swap(current);
    ++next;
  }

  bool finish(std::string& note) {
    if (reason.empty() && next != frames.size()) reason = "the run ended before its last frame was drawn";
    if (gif != nullptr) {
      int error = 0;
      const int closed = EGifCloseFile(gif, &error);
      gif = nullptr;
      if (closed != GIF_OK) fail(error);
    }
    if (out != nullptr && std::fclose(out) != 0 && reason.empty())
      reason = "cannot be written: " + std::string(std::strerror(errno));
    out = nullptr;
    if (reason.empty()) return true;
    note = "preview.gif " + reason;
    return false;
  }

  const Scene& scene;
  const PreviewPlan& plan;
  PreviewView view;
  const PreviewLabels& labels;
  std::vector<int> frames;
  std::vector<int> delays;
  std::string title;
  std::array<GifColorType, 256> colours{};
  std::array<GifPixelType, 32768> nearest{};
  std::vector<GifPixelType> previous, current, patch;
  std::FILE* out = nullptr;
  GifFileType* gif = nullptr;
  cairo_surface_t* surface = nullptr;
  cairo_surface_t* base = nullptr;
  size_t next = 0;
  std::string reason;
};

bool PreviewAnimation::available(std::string& /*note*/) { return true; }

PreviewAnimation::PreviewAnimation(const std::filesystem::path& file, const Scene& scene,
                                   const PreviewPlan& plan, const PreviewView& view,
                                   const PreviewLabels& labels, int first, int last)
    : writer_(std::make_unique<Writer>(file, scene, plan, view, labels, first, last)) {}

bool PreviewAnimation::wants(int frame) const {
  return std::binary_search(writer_->frames.begin(), writer_->frames.end(), frame);
}
void PreviewAnimation::add(int frame, const DrawnPoints& points) { writer_->add(frame, points); }
bool PreviewAnimation::finish(std::string& note) { return writer_->finish(note); }

#else

struct PreviewAnimation::Writer {};

bool PreviewAnimation::available([[maybe_unused]] std::string& note) {
  // Without cairo there is no still picture either, and its note says so for both.
#ifdef TARROW_HAVE_CAIRO
  note = "no preview.gif: this build has no giflib";
#endif
  return false;
}

PreviewAnimation::PreviewAnimation(const std::filesystem::path& /*file*/, const Scene& /*scene*/,
                                   const PreviewPlan& /*plan*/, const PreviewView& /*view*/,
                                   const PreviewLabels& /*labels*/, int /*first*/, int /*last*/) {}
bool PreviewAnimation::wants(int /*frame*/) const { return false; }
void PreviewAnimation::add(int /*frame*/, const DrawnPoints& /*points*/) {}
bool PreviewAnimation::finish(std::string& note) { return available(note); }

#endif

PreviewAnimation::~PreviewAnimation() = default;

}  // namespace tarrow::host
