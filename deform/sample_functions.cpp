#include "deform/sample_functions.h"

namespace tarrow {
namespace {

constexpr double kMissed = -1.0;  // the distance a ray that hits nothing reports

void zero(double* values, int count) noexcept {
  if (values == nullptr) return;
  for (int i = 0; i < count; ++i) values[i] = 0.0;
}

// 2015.3's functions. Arrays they are given to write are written (black, no direction); records
// whose layout this module does not know (a shader access, a trace record) are left alone.

int illuminate(LWItemID /*light*/, const double* /*position*/, double* direction, double* color) noexcept {
  zero(direction, 3);
  zero(color, 3);
  return 0;
}

double illuminateSample(LWItemID /*light*/, const double* /*position*/, double* direction,
                        LWNodalSampler /*sampler*/, void* /*samplerData*/) noexcept {
  zero(direction, 3);
  return 0.0;  // no light, so no sample to hand the sampler
}

double rayTrace(const double* /*position*/, const double* /*direction*/, double* color) noexcept {
  zero(color, 3);  // the backdrop
  return kMissed;
}

double rayCast(const double* /*position*/, const double* /*direction*/) noexcept { return kMissed; }

double rayShade(const double* /*position*/, const double* /*direction*/, void* /*shaderAccess*/) noexcept {
  return kMissed;
}

double rayTraceMode(const double* /*position*/, const double* /*direction*/, double* color, double /*eta*/,
                    int /*mode*/) noexcept {
  zero(color, 3);
  return kMissed;
}

// splitmix64's step: every state gives a well-mixed number, so neighbouring points (whose ids
// differ in a few low bits) get unrelated streams.
std::uint64_t mixed(std::uint64_t z) noexcept {
  z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31U);
}

float randomFloat(void* randomData) noexcept {
  if (randomData == nullptr) return 0.0f;
  auto& state = *static_cast<std::uint64_t*>(randomData);
  state += 0x9E3779B97F4A7C15ULL;
  // 24 bits: exactly a float's precision, so the largest is 1 - 2^-24, never 1.
  return static_cast<float>(mixed(state) >> 40U) * 0x1p-24f;
}

int illuminateNormal(LWItemID light, void* /*render*/, const double* position, double* direction,
                     const double* /*normal*/, double* color) noexcept {
  return illuminate(light, position, direction, color);
}

double illuminateSampleNormal(LWItemID light, void* /*render*/, const double* position, double* direction,
                              const double* /*normal*/, LWNodalSampler sampler, void* samplerData) noexcept {
  return illuminateSample(light, position, direction, sampler, samplerData);
}

void rayTraceData(void* /*render*/, void* /*traceData*/) noexcept {}
void rayTraceShade(void* /*traceData*/) noexcept {}

void getVal(void* /*render*/, int /*type*/, int num, double* values) noexcept { zero(values, num); }
void setVal(void* /*render*/, int /*type*/, int /*num*/, double* /*values*/) noexcept {}

// One sample in the middle of its range.
unsigned int getSamplerRange(void* /*samplerState*/) noexcept { return 1; }
void getSample2D(void* /*samplerState*/, unsigned int /*index*/, double* sample) noexcept {
  if (sample == nullptr) return;
  sample[0] = 0.5;
  sample[1] = 0.5;
}
double getSample1D(void* /*samplerState*/, unsigned int /*index*/) noexcept { return 0.5; }

// The functions of 2018 on. The record's ray is null for a deformer, so none reads it.

double shade(const LWRay* /*ray*/, lw2018::LWShadingGeometry* /*sg*/, double* result) noexcept {
  zero(result, 3);
  return 0.0;
}

int setupBSDF(const LWRay* /*ray*/, lw2018::LWShadingGeometry* /*sg*/) noexcept { return 0; }

double scattering(const LWRay* /*ray*/, lw2018::LWShadingGeometry* /*sg*/, const double* /*wo*/,
                  const double* /*wi*/, unsigned int /*flags*/, double* f) noexcept {
  zero(f, 3);
  return 0.0;
}

void sampleScattering(const LWRay* /*ray*/, lw2018::LWShadingGeometry* /*sg*/, const double* /*sample*/,
                      void* /*bxdfSample*/, unsigned int /*bxdfFlags*/) noexcept {}

void emitted(const LWRay* /*ray*/, lw2018::LWShadingGeometry* /*sg*/, double* result) noexcept {
  zero(result, 3);
}

}  // namespace

void setSampleFunctions(LWNodalAccess& sample) noexcept {
  sample.illuminate = illuminate;
  sample.illuminateSample = illuminateSample;
  sample.rayTrace = rayTrace;
  sample.rayCast = rayCast;
  sample.rayShade = rayShade;
  sample.rayTraceMode = rayTraceMode;
  sample.randomFloat = randomFloat;
  sample.illuminateNormal = illuminateNormal;
  sample.illuminateSampleNormal = illuminateSampleNormal;
  sample.rayTraceData = rayTraceData;
  sample.rayTraceShade = rayTraceShade;
  sample.getVal = getVal;
  sample.setVal = setVal;
  sample.getSamplerRange = getSamplerRange;
  sample.getSample2D = getSample2D;
  sample.getSample1D = getSample1D;
}

void setSampleFunctions(lw2018::LWShadingFuncs& funcs) noexcept {
  funcs.shade = shade;
  funcs.setupBSDF = setupBSDF;
  funcs.F = scattering;
  funcs.sampleF = sampleScattering;
  funcs.Le = emitted;
}

std::uint64_t randomSeed(LWPntID point) noexcept {
  return mixed(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(point)));
}

}  // namespace tarrow
