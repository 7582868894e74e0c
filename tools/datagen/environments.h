// The four environment cube maps and their diffuse companions:
//   textures/living_room.dds    a warm interior with a bright window and two lamps
//   textures/hd210.dds          deep space: stars, nebula, one bright star
//   textures/rnl.dds            a dark studio with bands of coloured light
//   textures/campus_cross.dds   outdoors: sky, sun, clouds, skyline, crossing paths
// each with "<name>_diff.dds", its cosine-weighted irradiance.
#pragma once
#include "datagen/asset.h"
#include "datagen/cubemap.h"

namespace datagen {

// Radiance of each environment (linear, HDR: lamps, window and sun exceed 1).
Vec3 livingRoomRadiance(const Vec3& direction);
Vec3 spaceRadiance(const Vec3& direction);   // without the point stars (see generateHd210)
Vec3 studioRadiance(const Vec3& direction);
Vec3 campusRadiance(const Vec3& direction);
// The same without the sun's disc: what lights the courtyard's irradiance.
Vec3 campusSkyLight(const Vec3& direction);

// Where the campus sun stands (unit vector, y up).
Vec3 campusSunDirection();

// Sharp face size and diffuse face size of every environment.
constexpr int environmentSize = 512;
constexpr int diffuseSize = 64;

void generateLivingRoom(const Context& context, std::vector<Asset>& out);
void generateHd210(const Context& context, std::vector<Asset>& out);
void generateRnl(const Context& context, std::vector<Asset>& out);
void generateCampusCross(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
