// The node sample record of one point: what the node inputs are evaluated with.
#pragma once

#include <cstdint>

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// 2015.3's record as an evaluation keeps it, followed by the state of the point's random stream,
// which the record's randomData points to: the stream lives as long as the record, in the same
// storage, and belongs to that one point.
struct NodalSample : LWNodalAccess {
  std::uint64_t randomState;
};

// Fills every byte of the record: the listed members from the point and the frame's cache, the
// renderer's functions (sample_functions.h) with randomData on the point's own stream, zero
// elsewhere. Safe to call for several points at once.
void fillNodalAccess(const LagInstance& instance, const LWDisplacementAccess& access,
                     NodalSample& sample) noexcept;

// The same point in the shading geometry record of hosts from 2018 on: every byte zero but the
// item, the vertex, the positions, the barycentric weights (1, 0, 0), the object's frame
// (toWorld, toLocal, both with the object's pivot point), the unit vector and distance toward
// the camera and the shading functions. No ray.
void fillShadingGeometry(const LagInstance& instance, const LWDisplacementAccess& access,
                         lw2018::LWShadingGeometry& sample) noexcept;

// The record a node input table's evaluate takes, the storage it is kept in, and its filling.
template <typename Sample>
struct SampleStorage {
  using type = Sample;
};
template <>
struct SampleStorage<LWNodalAccess> {
  using type = NodalSample;
};
template <typename Evaluate>
struct SampleTakenBy;
template <typename Sample>
struct SampleTakenBy<int (*)(NodeInputID, Sample*, void*)> {
  using type = typename SampleStorage<Sample>::type;
};
template <typename Inputs>
using SampleRecordOf = typename SampleTakenBy<decltype(Inputs::evaluate)>::type;

inline void fillSample(const LagInstance& instance, const LWDisplacementAccess& access,
                       NodalSample& sample) noexcept {
  fillNodalAccess(instance, access, sample);
}
inline void fillSample(const LagInstance& instance, const LWDisplacementAccess& access,
                       lw2018::LWShadingGeometry& sample) noexcept {
  fillShadingGeometry(instance, access, sample);
}

}  // namespace tarrow
