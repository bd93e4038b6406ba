#include "host/scene/envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarrow::host {
namespace {

using Keys = std::vector<EnvelopeKey>;

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Parameters by their place in a key.
constexpr size_t kTension = 0;
constexpr size_t kContinuity = 1;
constexpr size_t kBias = 2;
constexpr size_t kInTangent = 3;       // Hermite, 1D Bezier
constexpr size_t kOutTangent = 4;      // Hermite, 1D Bezier
constexpr size_t kInHandleTime = 0;    // 2D Bezier, relative to the key
constexpr size_t kInHandleValue = 1;   // 2D Bezier
constexpr size_t kOutHandleTime = 2;   // 2D Bezier
constexpr size_t kOutHandleValue = 3;  // 2D Bezier

// A 2D Bezier handle as a tangent over a span of spanTime: its value over its time, stretched to
// the span. A handle no longer in time than 1e-5 s counts as 1e-5 s long, so the tangent stays finite.
double handleTangent(double handleValue, double handleTime, double spanTime) {
  const double rise = handleValue * spanTime;
  return std::fabs(handleTime) <= 1e-5 ? rise * 1e5 : rise / handleTime;
}

// The tangent leaving keys[i] toward keys[i + 1]: by keys[i]'s own span type, weighted by how
// much of the time since the key before it the span takes (f), when there is a key before it.
double outgoing(const Keys& keys, size_t i) {
  const EnvelopeKey& k0 = keys[i];
  const EnvelopeKey& k1 = keys[i + 1];
  const EnvelopeKey* p = i > 0 ? &keys[i - 1] : nullptr;
  const double d = k1.value - k0.value;
  const double f = p != nullptr ? (k1.time - k0.time) / (k1.time - p->time) : 0.0;
  switch (k0.span) {
    case SpanType::kTcb: {
      const double t = k0.params[kTension];
      const double c = k0.params[kContinuity];
      const double b = k0.params[kBias];
      const double towardBefore = (1.0 - t) * (1.0 + c) * (1.0 + b);
      const double towardAfter = (1.0 - t) * (1.0 - c) * (1.0 - b);
      return p != nullptr ? f * (towardBefore * (k0.value - p->value) + towardAfter * d) : towardAfter * d;
    }
    case SpanType::kLinear:
      return p != nullptr ? f * (k0.value - p->value + d) : d;
    case SpanType::kHermite:
    case SpanType::kBezier1D:
      return p != nullptr ? k0.params[kOutTangent] * f : k0.params[kOutTangent];
    case SpanType::kBezier2D:
      return handleTangent(k0.params[kOutHandleValue], k0.params[kOutHandleTime], k1.time - k0.time);
    case SpanType::kStepped:
      return 0.0;
  }
  return 0.0;
}

// The tangent arriving at keys[i] from keys[i - 1]: by keys[i]'s own span type, weighted by how
// much of the time until the key after it the span takes (g), when there is a key after it.
double incoming(const Keys& keys, size_t i) {
  const EnvelopeKey& k0 = keys[i - 1];
  const EnvelopeKey& k1 = keys[i];
  const EnvelopeKey* n = i + 1 < keys.size() ? &keys[i + 1] : nullptr;
  const double d = k1.value - k0.value;
  const double g = n != nullptr ? (k1.time - k0.time) / (n->time - k0.time) : 0.0;
  switch (k1.span) {
    case SpanType::kTcb: {
      const double t = k1.params[kTension];
      const double c = k1.params[kContinuity];
      const double b = k1.params[kBias];
      const double towardBefore = (1.0 - t) * (1.0 - c) * (1.0 + b);
      const double towardAfter = (1.0 - t) * (1.0 + c) * (1.0 - b);
      return n != nullptr ? g * (towardAfter * (n->value - k1.value) + towardBefore * d) : towardBefore * d;
    }
    case SpanType::kLinear:
      return n != nullptr ? g * (n->value - k1.value + d) : d;
    case SpanType::kHermite:
    case SpanType::kBezier1D:
      return n != nullptr ? k1.params[kInTangent] * g : k1.params[kInTangent];
    case SpanType::kBezier2D:
      return handleTangent(k1.params[kInHandleValue], k1.params[kInHandleTime], k1.time - k0.time);
    case SpanType::kStepped:
      return 0.0;
  }
  return 0.0;
}

double bezier(const double (&controls)[4], double s) {
  const double r = 1.0 - s;
  return r * r * r * controls[0] + 3.0 * r * r * s * controls[1] + 3.0 * r * s * s * controls[2] +
         s * s * s * controls[3];
}

// A 2D Bezier span: a cubic in time and value together, so the curve's parameter at the time is
// searched for (the time curve rises across the span, so halving the interval finds it).
double bezier2DValue(const Keys& keys, size_t i, double time) {
  const EnvelopeKey& k0 = keys[i - 1];
  const EnvelopeKey& k1 = keys[i];
  const bool leaves2D = k0.span == SpanType::kBezier2D;
  const double times[4] = {k0.time,
                           k0.time + (leaves2D ? k0.params[kOutHandleTime] : (k1.time - k0.time) / 3.0),
                           k1.time + k1.params[kInHandleTime], k1.time};
  const double values[4] = {k0.value,
                            k0.value + (leaves2D ? k0.params[kOutHandleValue] : k0.params[kOutTangent] / 3.0),
                            k1.value + k1.params[kInHandleValue], k1.value};
  const double tolerance = 1e-12 * std::max(1.0, std::fabs(time));
  double low = 0.0;
  double high = 1.0;
  double s = 0.5;
  for (int halving = 0; halving < 100; ++halving) {
    s = 0.5 * (low + high);
    const double at = bezier(times, s);
    if (std::fabs(at - time) <= tolerance) break;
    (at < time ? low : high) = s;
  }
  return bezier(values, s);
}

// The value of the span that ends at keys[i], at a time inside it; its tangents from those
// worked out beforehand, else worked out now.
double spanValue(const Keys& keys, size_t i, double time, const SpanTangents* tangents) {
  const EnvelopeKey& k0 = keys[i - 1];
  const EnvelopeKey& k1 = keys[i];
  const double u = (time - k0.time) / (k1.time - k0.time);
  switch (k1.span) {
    case SpanType::kTcb:
    case SpanType::kHermite:
    case SpanType::kBezier1D: {
      const double u2 = u * u;
      const double u3 = u2 * u;
      const double h2 = 3.0 * u2 - 2.0 * u3;
      const double h1 = 1.0 - h2;
      const double h4 = u3 - u2;
      const double h3 = h4 - u2 + u;
      const double out = tangents != nullptr ? tangents[i].out : outgoing(keys, i - 1);
      const double in = tangents != nullptr ? tangents[i].in : incoming(keys, i);
      return h1 * k0.value + h2 * k1.value + h3 * out + h4 * in;
    }
    case SpanType::kLinear:
      return k0.value + u * (k1.value - k0.value);
    case SpanType::kStepped:
      return k0.value;
    case SpanType::kBezier2D:
      return bezier2DValue(keys, i, time);
  }
  return k0.value;
}

double valueOf(const Envelope& envelope, double time, const SpanTangents* tangents) {
  const Keys& keys = envelope.keys;
  const double unit = envelope.unit;
  if (keys.empty()) return 0.0;
  if (keys.size() == 1) return keys.front().value * unit;
  if (std::isnan(time)) return kNoValue;
  const EnvelopeKey& first = keys.front();
  const EnvelopeKey& last = keys.back();
  double offset = 0.0;
  if (time < first.time || time > last.time) {
    const bool before = time < first.time;
    const Behavior behavior = before ? envelope.pre : envelope.post;
    switch (behavior) {
      case Behavior::kReset:
        return 0.0;
      case Behavior::kConstant:
        return (before ? first.value : last.value) * unit;
      case Behavior::kLinear: {
        const size_t n = keys.size();
        if (before)
          return (first.value + outgoing(keys, 0) / (keys[1].time - first.time) * (time - first.time)) * unit;
        return (last.value + incoming(keys, n - 1) / (last.time - keys[n - 2].time) * (time - last.time)) *
               unit;
      }
      case Behavior::kRepeat:
      case Behavior::kOscillate:
      case Behavior::kOffsetRepeat: {
        // The copy of the keyed interval the time falls in: c whole intervals away (negative
        // before the first key), every odd copy run backwards when oscillating.
        const double interval = last.time - first.time;
        const double copy = std::floor((time - first.time) / interval);
        time -= copy * interval;
        if (behavior == Behavior::kOscillate && std::fmod(copy, 2.0) != 0.0)
          time = first.time + last.time - time;
        if (behavior == Behavior::kOffsetRepeat) offset = copy * (last.value - first.value);
        if (!std::isfinite(time)) return kNoValue;
        // Rounding may leave the time a hair outside the keys.
        time = std::clamp(time, first.time, last.time);
        break;
      }
    }
  }
  // The span k0 < time <= k1; a time at a key is that key's value.
  const auto after = std::lower_bound(keys.begin(), keys.end(), time,
                                      [](const EnvelopeKey& key, double t) { return key.time < t; });
  double value = after->time == time
                     ? after->value
                     : spanValue(keys, static_cast<size_t>(after - keys.begin()), time, tangents);
  if (offset != 0.0) value += offset;
  return value * unit;
}

}  // namespace

double Envelope::valueAt(double time) const { return valueOf(*this, time, nullptr); }

double Envelope::valueAt(double time, const std::vector<SpanTangents>& tangents) const {
  return valueOf(*this, time, tangents.size() == keys.size() ? tangents.data() : nullptr);
}

std::vector<SpanTangents> Envelope::spanTangents() const {
  std::vector<SpanTangents> tangents(keys.size());
  for (size_t i = 1; i < keys.size(); ++i) tangents[i] = {outgoing(keys, i - 1), incoming(keys, i)};
  return tangents;
}

}  // namespace tarrow::host
