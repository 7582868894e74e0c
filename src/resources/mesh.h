// Mesh: one indexed triangle mesh as stored in an MMF file.
//
// Plain record shared by the program (loadMesh fills it) and by datagen (writeMmf
// writes it). Vertex k is points[3k..3k+2], normals[3k..3k+2], uvs[2k..2k+1].
// The record owns its lists; drawing and upload live in resources/geometry.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MeshTexture {
    int id = 0;         // 0 after loading
    std::string path;   // the item's path with every '/' turned into '\\'
};

struct Mesh {
    std::vector<float> points;
    std::vector<float> normals;
    std::vector<float> uvs;
    std::vector<int32_t> polygons;
    std::vector<MeshTexture> textures;
};
