// The node sample record of one point: what the node inputs are evaluated with.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Fills every byte of sample: the listed members from the point and the frame's cache, zero
// elsewhere. Safe to call for several points at once.
void fillNodalAccess(const LagInstance& instance, const LWDisplacementAccess& access,
                     LWNodalAccess& sample) noexcept;

// The same point in the shading geometry record of hosts from 2018 on: every byte zero but the
// item, the vertex, the positions, the barycentric weights (1, 0, 0), the object's frame
// (toWorld, toLocal) and the unit vector and distance toward the camera. No ray.
void fillShadingGeometry(const LagInstance& instance, const LWDisplacementAccess& access,
                         lw2018::LWShadingGeometry& sample) noexcept;

// The record a node input table's evaluate takes, and its filling.
template <typename Evaluate>
struct SampleTakenBy;
template <typename Sample>
struct SampleTakenBy<int (*)(NodeInputID, Sample*, void*)> {
  using type = Sample;
};
template <typename Inputs>
using SampleRecordOf = typename SampleTakenBy<decltype(Inputs::evaluate)>::type;

inline void fillSample(const LagInstance& instance, const LWDisplacementAccess& access,
                       LWNodalAccess& sample) noexcept {
  fillNodalAccess(instance, access, sample);
}
inline void fillSample(const LagInstance& instance, const LWDisplacementAccess& access,
                       lw2018::LWShadingGeometry& sample) noexcept {
  fillShadingGeometry(instance, access, sample);
}

}  // namespace tarrow
