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
#endif

namespace tarrow::host {

namespace {

constexpr int kMaxImages = 120;
constexpr int kMinDelay = 2;   // hundredths of a second; viewers slow shorter ones down
constexpr int kLastHold = 50;  // the last image stays a little longer before the loop

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
constexpr double kMargin = 24.0;
constexpr double kHeader = 28.0;
constexpr size_t kOutlinedPolygons = 2000;

constexpr Colour kBackground{0.97, 0.97, 0.95};
constexpr Colour kObject{0.93, 0.40, 0.12};
constexpr Colour kInk{0.12, 0.12, 0.12};

// Index 0 marks the pixels an image leaves as the one before it showed; the others are the
// background and blends of the three colours, which is all that antialiased drawing of them
// over the background makes.
constexpr int kKeep = 0;

std::array<GifColorType, 256> palette() {
  std::array<GifColorType, 256> colours{};
  size_t next = 0;
  auto add = [&](const Colour& c) {
    colours[next++] = {static_cast<GifByteType>(std::lround(c.r * 255)),
                       static_cast<GifByteType>(std::lround(c.g * 255)),
                       static_cast<GifByteType>(std::lround(c.b * 255))};
  };
  auto ramp = [&](const Colour& from, const Colour& to, int steps) {
    for (int i = 1; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      add({from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t});
    }
  };
  add(kBackground);  // kKeep
  add(kBackground);
  ramp(kBackground, kObject, 100);
  ramp(kBackground, kInk, 100);
  ramp(kObject, kInk, 54);
  return colours;
}

}  // namespace

struct PreviewAnimation::Writer {
  Writer(const std::filesystem::path& file, const Scene& sceneIn,
         const std::vector<DeformedObject>& objectsIn, const PreviewView& viewIn, int first, int last)
      : scene(sceneIn),
        objects(objectsIn),
        view(viewIn),
        frames(animationFrames(first, last, sceneIn.fps)),
        title(sceneIn.file.stem().string()) {
    view.fitInto(kMargin, kHeader + kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin - kHeader);
    for (const DeformedObject& object : objects) {
      auto& path = paths.emplace_back();
      for (int f = first; f <= last; ++f)
        path.push_back(view.project(scene.worldPlacement(object.item, f / scene.fps).position));
    }
    delays = imageDelays(frames, first, last, scene.fps);
    colours = palette();
    nearest = nearestColours(colours);
    open(file);
  }

  // Each image lasts until the next one's frame; the last a little longer.
  static std::vector<int> imageDelays(const std::vector<int>& frames, int first, int last, double fps) {
    auto at = [&](int frame) { return std::lround((frame - first) * 100.0 / fps); };
    std::vector<int> delays;
    for (size_t i = 0; i < frames.size(); ++i) {
      const long delay = i + 1 < frames.size()
                             ? at(frames[i + 1]) - at(frames[i])
                             : std::lround(strideOf(first, last, fps) * 100.0 / fps) + kLastHold;
      delays.push_back(static_cast<int>(std::clamp<long>(delay, kMinDelay, 65535)));
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
  }

  static int writeBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    return static_cast<int>(
        std::fwrite(bytes, 1, static_cast<size_t>(count), static_cast<std::FILE*>(gif->UserData)));
  }

  void fail(int error) {
    if (reason.empty()) reason = std::string("cannot be written: ") + GifErrorString(error);
  }

  void draw(int frame, const FramePoints& points) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, kBackground.r, kBackground.g, kBackground.b);
    cairo_paint(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    drawPaths(cr);
    for (size_t k = 0; k < objects.size() && k < points.size(); ++k)
      drawObject(cr, objects[k], frame, points[k]);
    drawTitle(cr, frame);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
  }

  // The objects' paths, dashed, under everything.
  void drawPaths(cairo_t* cr) const {
    cairo_set_source_rgba(cr, kInk.r, kInk.g, kInk.b, 0.45);
    cairo_set_line_width(cr, 1.0);
    const double dashes[] = {5.0, 4.0};
    cairo_set_dash(cr, dashes, 2, 0.0);
    for (const auto& path : paths) {
      view.trace(
          path, [cr](Point2 s) { cairo_move_to(cr, s.x, s.y); },
          [cr](Point2 s) { cairo_line_to(cr, s.x, s.y); });
      cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0.0);
  }

  // The object's polygons (or, without polygons, its points as dots) and its own position.
  void drawObject(cairo_t* cr, const DeformedObject& object, int frame, const std::vector<Vec3>& points) {
    projected.clear();
    for (const Vec3& point : points) projected.push_back(view.project(point));
    const auto& polygons = scene.items[static_cast<size_t>(object.item)].polygons;
    for (const auto& polygon : polygons) {
      const bool whole = std::all_of(polygon.begin(), polygon.end(), [&](int index) {
        return static_cast<size_t>(index) < projected.size() && projected[static_cast<size_t>(index)];
      });
      if (!whole) continue;
      for (size_t v = 0; v < polygon.size(); ++v) {
        const Point2 s = view.place(*projected[static_cast<size_t>(polygon[v])]);
        v == 0 ? cairo_move_to(cr, s.x, s.y) : cairo_line_to(cr, s.x, s.y);
      }
      cairo_close_path(cr);
    }
    // Edges show on a small mesh; a large one is drawn as its filled shape, which costs a
    // fraction of stroking every edge and looks the same at this size.
    if (polygons.size() <= kOutlinedPolygons) {
      cairo_set_source_rgba(cr, kObject.r, kObject.g, kObject.b, 0.35);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, kObject.r, kObject.g, kObject.b);
      cairo_set_line_width(cr, 1.0);
      cairo_stroke(cr);
    } else {
      cairo_set_source_rgba(cr, kObject.r, kObject.g, kObject.b, 0.6);
      cairo_fill(cr);
    }
    if (polygons.empty()) {
      for (const auto& p : projected) {
        if (!p) continue;
        const Point2 s = view.place(*p);
        cairo_new_sub_path(cr);
        cairo_arc(cr, s.x, s.y, 2.0, 0.0, 2 * std::numbers::pi);
      }
      cairo_fill(cr);
    }
    // The object's own position: where its points trail from.
    if (auto pivot = view.project(scene.worldPlacement(object.item, frame / scene.fps).position)) {
      const Point2 s = view.place(*pivot);
      cairo_set_source_rgb(cr, kInk.r, kInk.g, kInk.b);
      cairo_arc(cr, s.x, s.y, 3.0, 0.0, 2 * std::numbers::pi);
      cairo_fill(cr);
    }
  }

  void drawTitle(cairo_t* cr, int frame) const {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 14.0);
    cairo_set_source_rgb(cr, kInk.r, kInk.g, kInk.b);
    cairo_move_to(cr, 12.0, 22.0);
    const std::string text = title + ": frame " + std::to_string(frame);
    cairo_show_text(cr, text.c_str());
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

  void add(int frame, const FramePoints& points) {
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
  const std::vector<DeformedObject>& objects;
  PreviewView view;
  std::vector<int> frames;
  std::vector<int> delays;
  std::string title;
  std::vector<std::vector<std::optional<Point2>>> paths;
  std::vector<std::optional<Point2>> projected;
  std::array<GifColorType, 256> colours{};
  std::array<GifPixelType, 32768> nearest{};
  std::vector<GifPixelType> previous, current, patch;
  std::FILE* out = nullptr;
  GifFileType* gif = nullptr;
  cairo_surface_t* surface = nullptr;
  size_t next = 0;
  std::string reason;
};

bool PreviewAnimation::available(std::string& /*note*/) { return true; }

PreviewAnimation::PreviewAnimation(const std::filesystem::path& file, const Scene& scene,
                                   const std::vector<DeformedObject>& objects, const PreviewView& view,
                                   int first, int last)
    : writer_(std::make_unique<Writer>(file, scene, objects, view, first, last)) {}

bool PreviewAnimation::wants(int frame) const {
  return std::binary_search(writer_->frames.begin(), writer_->frames.end(), frame);
}
void PreviewAnimation::add(int frame, const FramePoints& points) { writer_->add(frame, points); }
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
                                   const std::vector<DeformedObject>& /*objects*/,
                                   const PreviewView& /*view*/, int /*first*/, int /*last*/) {}
bool PreviewAnimation::wants(int /*frame*/) const { return false; }
void PreviewAnimation::add(int /*frame*/, const FramePoints& /*points*/) {}
bool PreviewAnimation::finish(std::string& note) { return available(note); }

#endif

PreviewAnimation::~PreviewAnimation() = default;

}  // namespace tarrow::host
