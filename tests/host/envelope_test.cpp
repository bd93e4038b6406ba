#include "host/scene/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace tarrow::host {
namespace {

using enum SpanType;

// Parameters by place: TCB tension, continuity, bias; Hermite and 1D Bezier p4 incoming and p5
// outgoing tangent; 2D Bezier p1, p2 incoming handle time and value, p3, p4 outgoing ones.
EnvelopeKey key(double time, double value, SpanType span = kTcb, std::array<double, 6> params = {}) {
  return {time, value, span, params};
}
std::array<double, 6> tcb(double tension, double continuity, double bias) {
  return {tension, continuity, bias};
}
std::array<double, 6> tangents(double in, double out) { return {0, 0, 0, in, out}; }
std::array<double, 6> handles(double inTime, double inValue, double outTime, double outValue) {
  return {inTime, inValue, outTime, outValue};
}

Envelope curve(std::vector<EnvelopeKey> keys, Behavior pre = Behavior::kConstant,
               Behavior post = Behavior::kConstant) {
  return {std::move(keys), pre, post};
}

struct CurveCase {
  const char* name;
  Envelope envelope;
  std::vector<std::pair<double, double>> timesAndValues;
};

// Every value below is worked by hand from the evaluation rules: u the place in the span, the
// Hermite weights h1 = 1 - h2, h2 = 3u^2 - 2u^3, h3 = h4 - u^2 + u, h4 = u^3 - u^2 (at u = 0.5:
// 0.5, 0.5, 0.125, -0.125), out the tangent leaving the span's first key (by that key's type),
// in the one arriving at its last (by that key's type).
const std::vector<CurveCase>& curveCases() {
  static const std::vector<CurveCase> cases{
      // u = 0.25: 1 + 0.25 * (5 - 1) = 2. At a key: that key's value.
      {"linear", curve({key(0, 1, kLinear), key(2, 5, kLinear)}), {{0.5, 2}, {2, 5}, {0, 1}}},
      // The span's first key's value until the next key.
      {"stepped", curve({key(0, 1), key(2, 5, kStepped)}), {{1.5, 1}, {2, 5}}},
      // Keys (0, 0), (1, 2), (3, 3), T = C = B = 0, so a = b = 1 on both sides.
      // Span 1, t 0.5: out = b * d = 2 (no key before); in: g = 1 / 3, in = g * (1 * (3 - 2) + 1 * 2) = 1;
      //   0.5 * 0 + 0.5 * 2 + 0.125 * 2 - 0.125 * 1 = 1.125.
      // Span 2, t 2: out: f = 2 / 3, out = f * (1 * (2 - 0) + 1 * 1) = 2; in = a * d = 1 (no key after);
      //   0.5 * 2 + 0.5 * 3 + 0.125 * 2 - 0.125 * 1 = 2.625.
      {"tcb plain", curve({key(0, 0), key(1, 2), key(3, 3)}), {{0.5, 1.125}, {2, 2.625}}},
      // As above, the middle key with T = C = B = 0.5.
      // Span 1, t 0.5: in at the middle key: a = 0.5 * 0.5 * 1.5 = 0.375, b = 0.5 * 1.5 * 0.5 = 0.375,
      //   in = (1 / 3) * (0.375 * 1 + 0.375 * 2) = 0.375; 1 + 0.125 * 2 - 0.125 * 0.375 = 1.203125.
      // Span 2, t 2: out of the middle key: a = 0.5 * 1.5 * 1.5 = 1.125, b = 0.5 * 0.5 * 0.5 = 0.125,
      //   out = (2 / 3) * (1.125 * 2 + 0.125 * 1) = 4.75 / 3; in = 1;
      //   2.5 + 0.125 * 4.75 / 3 - 0.125 = 2.375 + 0.59375 / 3.
      {"tcb tension continuity bias",
       curve({key(0, 0), key(1, 2, kTcb, tcb(0.5, 0.5, 0.5)), key(3, 3)}),
       {{0.5, 1.203125}, {2, 2.375 + 0.59375 / 3}}},
      // Keys (0, 0) out 4; (2, 2) in 1, out 3; (4, 0) in 2. Span 1, t 1: out = 4 (no key before),
      //   in = 1 * g, g = 2 / 4: 0.5 * 2 + 0.125 * 4 - 0.125 * 0.5 = 1.4375.
      // Span 2, t 3: out = 3 * f, f = 2 / 4; in = 2 (no key after): 1 + 0.125 * 1.5 - 0.125 * 2 = 0.9375.
      {"hermite",
       curve({key(0, 0, kHermite, tangents(0, 4)), key(2, 2, kHermite, tangents(1, 3)),
              key(4, 0, kHermite, tangents(2, 0))}),
       {{1, 1.4375}, {3, 0.9375}}},
      {"1D bezier, as hermite",
       curve({key(0, 0, kBezier1D, tangents(0, 4)), key(2, 2, kBezier1D, tangents(1, 3)),
              key(4, 0, kBezier1D, tangents(2, 0))}),
       {{1, 1.4375}, {3, 0.9375}}},
      // A linear key's tangent: out of (1, 2): f * (2 - 0 + 1), f = 2 / 3, = 2; in at the TCB key
      // (3, 3), none after it: a * d = 1;
      //   at t 2: 0.5 * 2 + 0.5 * 3 + 0.125 * 2 - 0.125 * 1 = 2.625.
      {"tcb span between linear keys",
       curve({key(0, 0, kLinear), key(1, 2, kLinear), key(3, 3)}),
       {{2, 2.625}}},
      // A stepped key leaves flat: out = 0; in = a * d = 2: 0.5 * 2 - 0.125 * 2 = 0.75.
      {"tcb span from a stepped key", curve({key(0, 0, kStepped), key(1, 2)}), {{0.5, 0.75}}},
      // Time controls 0, 0 + 1, 3 - 1, 3 are evenly spaced, so the curve's parameter is t / 3.
      // Value controls 0, 0 + 2, 3 + 0, 3. s = 0.5: (0 + 3 * 2 + 3 * 3 + 3) / 8 = 2.25.
      // s = 0.25: 0.421875 * 0 + 0.421875 * 2 + 0.140625 * 3 + 0.015625 * 3 = 1.3125.
      {"2D bezier",
       curve({key(0, 0, kBezier2D, handles(0, 0, 1, 2)), key(3, 3, kBezier2D, handles(-1, 0, 0, 0))}),
       {{1.5, 2.25}, {0.75, 1.3125}}},
      // Time controls 0, 1.5, 2.5, 3: at s = 0.5, 0.375 * 1.5 + 0.375 * 2.5 + 0.125 * 3 = 1.875,
      // where the value is again 2.25: the time curve is solved, not taken for the parameter.
      {"2D bezier, uneven handles",
       curve({key(0, 0, kBezier2D, handles(0, 0, 1.5, 2)), key(3, 3, kBezier2D, handles(-0.5, 0, 0, 0))}),
       {{1.875, 2.25}}},
      // From a Hermite key: time control 0 + 3 / 3, value control 0 + p5 / 3 = 1, others as above:
      // s = 0.5: (0 + 3 * 1 + 3 * 3 + 3) / 8 = 1.875.
      {"2D bezier from a hermite key",
       curve({key(0, 0, kHermite, tangents(0, 3)), key(3, 3, kBezier2D, handles(-1, 0, 0, 0))}),
       {{1.5, 1.875}}},
      // Out of a 2D Bezier key into a Hermite span: 2 * (2 - 0) / 1 = 4, in = 0: 1 + 0.125 * 4 = 1.5.
      {"hermite span from a 2D bezier key",
       curve({key(0, 0, kBezier2D, handles(0, 0, 1, 2)), key(2, 2, kHermite)}),
       {{1, 1.5}}},
      // A handle shorter in time than 1e-5: out = 1e-6 * 2 * 1e5 = 0.2: 1 + 0.125 * 0.2 = 1.025.
      {"2D bezier handle of no length",
       curve({key(0, 0, kBezier2D, handles(0, 0, 0, 1e-6)), key(2, 2, kHermite)}),
       {{1, 1.025}}},
      {"no key", curve({}, Behavior::kLinear, Behavior::kLinear), {{-3, 0}, {0, 0}, {7, 0}}},
      {"one key", curve({key(2, 4)}, Behavior::kReset, Behavior::kLinear), {{-3, 4}, {2, 4}, {7, 4}}},
      // Behaviours about linear keys (1, 1), (3, 5): the first key not at 0, r = 2.
      {"reset",
       curve({key(1, 1, kLinear), key(3, 5, kLinear)}, Behavior::kReset, Behavior::kReset),
       {{0, 0}, {4, 0}, {1, 1}, {3, 5}}},
      {"constant", curve({key(1, 1, kLinear), key(3, 5, kLinear)}), {{0, 1}, {9, 5}}},
      // t 4: c = floor(3 / 2) = 1, 4 - 2 = 2: 3. t 0: c = -1, 0 + 2 = 2: 3. t 5.5: c = 2, 1.5: 2.
      // t 5: c = 2, 5 - 4 = 1, the first key: 1.
      {"repeat",
       curve({key(1, 1, kLinear), key(3, 5, kLinear)}, Behavior::kRepeat, Behavior::kRepeat),
       {{4, 3}, {0, 3}, {5.5, 2}, {5, 1}}},
      // As repeat, plus c * (5 - 1): t 4: 3 + 4 = 7; t 0: 3 - 4 = -1; t 5.5: 2 + 8 = 10; t 5: 1 + 8 = 9.
      {"offset repeat",
       curve({key(1, 1, kLinear), key(3, 5, kLinear)}, Behavior::kOffsetRepeat, Behavior::kOffsetRepeat),
       {{4, 7}, {0, -1}, {5.5, 10}, {5, 9}}},
      // Odd copies mirrored about the keys' middle, 1 + 3 - t: t 3.5: c = 1, 1.5, mirrored 2.5: 4.
      // t 0.5: c = -1, 2.5, mirrored 1.5: 2. t 5.5: c = 2 (even), 1.5: 2.
      {"oscillate",
       curve({key(1, 1, kLinear), key(3, 5, kLinear)}, Behavior::kOscillate, Behavior::kOscillate),
       {{3.5, 4}, {0.5, 2}, {5.5, 2}}},
      // Along the end keys' tangents: linear keys without neighbours, out = in = d = 4, slope 4 / 2:
      // t 0: 1 + 2 * (0 - 1) = -1; t 4: 5 + 2 * 1 = 7.
      {"linear",
       curve({key(1, 1, kLinear), key(3, 5, kLinear)}, Behavior::kLinear, Behavior::kLinear),
       {{0, -1}, {4, 7}}},
      // Hermite ends: slope 6 / 2 before, 1 / 2 after: t 0: 1 - 3 = -2; t 5: 5 + 0.5 * 2 = 6.
      {"linear from hermite ends",
       curve({key(1, 1, kHermite, tangents(0, 6)), key(3, 5, kHermite, tangents(1, 0))}, Behavior::kLinear,
             Behavior::kLinear),
       {{0, -2}, {5, 6}}},
      // A 2D Bezier last key: in = -1 * 2 / -0.5 = 4, slope 2: t 4: 7.
      {"linear after a 2D bezier end",
       curve({key(1, 1, kLinear), key(3, 5, kBezier2D, handles(-0.5, -1, 0, 0))}, Behavior::kConstant,
             Behavior::kLinear),
       {{4, 7}}},
  };
  return cases;
}

TEST(Envelope, ValuesAreTheFormulasOfEverySpanTypeAndBehaviour) {
  for (const CurveCase& c : curveCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<SpanTangents> tangents = c.envelope.spanTangents();
    for (const auto& [time, expected] : c.timesAndValues) {
      SCOPED_TRACE(time);
      const double value = c.envelope.valueAt(time);
      EXPECT_NEAR(value, expected, 1e-9);
      // Tangents worked out beforehand give the same value to the bit.
      EXPECT_EQ(c.envelope.valueAt(time, tangents), value);
    }
  }
}

TEST(Envelope, UnitScalesTheValueAndTimesWithoutAValueGiveNone) {
  Envelope degrees = curve({key(0, 0, kLinear), key(2, 90, kLinear)});
  degrees.unit = 0.5;
  EXPECT_EQ(degrees.valueAt(1.0), 22.5);
  Envelope repeating = curve({key(0, 0), key(1, 1)}, Behavior::kRepeat, Behavior::kRepeat);
  EXPECT_TRUE(std::isnan(repeating.valueAt(NAN)));
  EXPECT_TRUE(std::isnan(repeating.valueAt(INFINITY)));
  EXPECT_EQ(curve({key(0, 0), key(1, 1)}).valueAt(-INFINITY), 0.0);
}

}  // namespace
}  // namespace tarrow::host
