#include "datagen/occlusion_rays.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>

namespace datagen {

OcclusionTracer::~OcclusionTracer()
{
    if (scene) {
        rtcReleaseScene(scene);
    }
    if (device) {
        rtcReleaseDevice(device);
    }
}

bool OcclusionTracer::build(const Mesh& mesh)
{
    device = rtcNewDevice(nullptr);
    if (!device) {
        return false;
    }
    scene = rtcNewScene(device);
    rtcSetSceneFlags(scene, RTC_SCENE_FLAG_ROBUST);
    rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_HIGH);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    const size_t vertices = mesh.points.size() / 3, triangles = mesh.polygons.size() / 3;
    auto* v = static_cast<float*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), vertices));
    auto* i = static_cast<uint32_t*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(uint32_t), triangles));
    if (!v || !i) {
        rtcReleaseGeometry(geometry);
        return false;
    }
    std::copy(mesh.points.begin(), mesh.points.end(), v);
    for (size_t k = 0; k < mesh.polygons.size(); ++k) {
        i[k] = uint32_t(mesh.polygons[k]);
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
    return rtcGetDeviceError(device) == RTC_ERROR_NONE;
}

float OcclusionTracer::openShare(const Vec3& origin, const Vec3& n, const Vec3& t, const Vec3& b, const Vec3& above,
                                 int rays, float far, float shift1, float shift2) const
{
    if (rays <= 0) {
        return 1.0f;
    }
    RTCIntersectContext context;
    int open = 0;
    for (int k0 = 0; k0 < rays; k0 += 8) {
        alignas(32) RTCRay8 packet;
        alignas(32) int valid[8];
        for (int lane = 0; lane < 8; ++lane) {
            const int k = k0 + lane;
            valid[lane] = k < rays ? -1 : 0;
            const float u1 = (float(std::min(k, rays - 1)) + shift1) / float(rays);
            const float u2 = std::fmod(float(k) * 0.618034f + shift2, 1.0f);
            const float r = std::sqrt(u1), phi = 6.2831853f * u2;
            Vec3 d = t * (r * std::cos(phi)) + b * (r * std::sin(phi)) + n * std::sqrt(std::max(0.0f, 1.0f - u1));
            const float below = dot(d, above);
            if (below < 0.0f) {
                d = d - above * (2.0f * below);
            }
            packet.org_x[lane] = origin.x;
            packet.org_y[lane] = origin.y;
            packet.org_z[lane] = origin.z;
            packet.tnear[lane] = 0.0f;
            packet.dir_x[lane] = d.x;
            packet.dir_y[lane] = d.y;
            packet.dir_z[lane] = d.z;
            packet.time[lane] = 0.0f;
            packet.tfar[lane] = far;
            packet.mask[lane] = 0xFFFFFFFFu;
            packet.id[lane] = unsigned(lane);
            packet.flags[lane] = 0;
        }
        rtcInitIntersectContext(&context);
        rtcOccluded8(valid, scene, &context, &packet);
        for (int lane = 0; lane < 8; ++lane) {
            // An occluded ray comes back with tfar = -inf.
            open += valid[lane] && packet.tfar[lane] >= 0.0f;
        }
    }
    return float(open) / float(rays);
}

}  // namespace datagen
