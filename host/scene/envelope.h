// Motion curves as Layout keeps them: one envelope per channel, each with its own keys, span
// types and behaviours before the first key and after the last, evaluated in double precision at
// any time (the deformer asks for frames between the scene's frames).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace tarrow::host {

// The curve of the span that ends at a key; the numbers are those of scene files.
enum class SpanType : int {
  kTcb = 0,
  kHermite = 1,
  kBezier1D = 2,
  kLinear = 3,
  kStepped = 4,
  kBezier2D = 5,
};

// What the curve does before its first key and after its last; the numbers are those of scene files.
enum class Behavior : int {
  kReset = 0,
  kConstant = 1,
  kRepeat = 2,
  kOscillate = 3,
  kOffsetRepeat = 4,
  kLinear = 5,
};

struct EnvelopeKey {
  double time = 0.0;  // seconds
  double value = 0.0;
  SpanType span = SpanType::kTcb;
  // TCB, Hermite, 1D Bezier: tension, continuity, bias, incoming and outgoing tangent.
  // 2D Bezier: incoming handle time and value, outgoing handle time and value (relative to the key).
  std::array<double, 6> params{};
};

// The tangents of the span that ends at a key: leaving the key before it, arriving at this one.
struct SpanTangents {
  double out = 0.0;
  double in = 0.0;
};

struct Envelope {
  std::vector<EnvelopeKey> keys;  // strictly increasing times
  Behavior pre = Behavior::kConstant;
  Behavior post = Behavior::kConstant;
  // The channel's own unit per unit of the keys' values: 1 for Layout's curves; pi / 180 for the
  // angles of JSON scenes, which are keyed in degrees. The curve is evaluated in the keys' units
  // and multiplied last, so a JSON scene's angles come out as they always did.
  double unit = 1.0;

  // The curve's value at a time, in the channel's unit; no key: 0. A time that is not a number,
  // or that a repeating behaviour cannot bring back between the keys (an infinite one), gives NaN.
  double valueAt(double time) const;
  // The same, to the bit, with the tangents of every span worked out beforehand by
  // spanTangents(), for a curve evaluated at many times.
  double valueAt(double time, const std::vector<SpanTangents>& tangents) const;
  // One entry a key: the span ending at it (the first key's holds zeros, no span ends there).
  std::vector<SpanTangents> spanTangents() const;
};

// An item's channels, in the order of scene files: position x, y, z (metres, in the parent's
// frame), heading, pitch, bank (radians), scale x, y, z.
enum Channel : std::size_t {
  kPositionX,
  kPositionY,
  kPositionZ,
  kHeading,
  kPitch,
  kBank,
  kScaleX,
  kScaleY,
  kScaleZ,
  kChannelCount,
};
using Channels = std::array<Envelope, kChannelCount>;

}  // namespace tarrow::host
