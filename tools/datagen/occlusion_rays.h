// Rays against a mesh for the occlusion bakers: an Embree scene of the mesh's triangles
// and the share of a stratified, cosine-weighted hemisphere of rays that leaves it.
// One tracer serves many threads at once once built (openShare is const).
#pragma once
#include "datagen/cubemap.h"
#include "resources/mesh.h"

struct RTCDeviceTy;
struct RTCSceneTy;

namespace datagen {

class OcclusionTracer {
public:
    OcclusionTracer() = default;
    ~OcclusionTracer();
    OcclusionTracer(const OcclusionTracer&) = delete;
    OcclusionTracer& operator=(const OcclusionTracer&) = delete;

    // The scene of the mesh's triangles (indices must lie inside its vertices). False
    // when Embree cannot make it.
    bool build(const Mesh& mesh);

    // Share (0..1) of `rays` directions leaving `origin` that meet nothing within `far`:
    // a Fibonacci lattice of cosine-weighted directions around the unit normal n (with
    // tangents t and b), shifted by shift1 and shift2 in [0, 1), traced in packets of
    // eight. A direction below the plane whose normal is `above` is mirrored above it.
    float openShare(const Vec3& origin, const Vec3& n, const Vec3& t, const Vec3& b, const Vec3& above, int rays,
                    float far, float shift1, float shift2) const;

private:
    RTCDeviceTy* device = nullptr;
    RTCSceneTy* scene = nullptr;
};

}  // namespace datagen
