// datagen: builds the demo's data archive.
//   datagen --data DIR --out FILE [--only GLOB]
#include "datagen/asset.h"
#include "datagen/zip_writer.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    datagen::Context context;
    context.dataDir = "data";
    std::string out = "data.zip";
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--data" && i + 1 < argc) {
            context.dataDir = argv[++i];
        } else if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: datagen --data DIR --out FILE [--only GLOB]\n");
            return 2;
        }
    }
    std::vector<datagen::Asset> assets;
    for (const datagen::Generator& generator : datagen::registry()) {
        if (!only.empty() && fnmatch(only.c_str(), generator.name, 0) != 0) {
            continue;
        }
        size_t before = assets.size();
        try {
            generator.run(context, assets);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "datagen: %s: %s\n", generator.name, e.what());
            return 1;
        }
        for (size_t i = before; i < assets.size(); ++i) {
            std::printf("datagen: %-40s %10zu bytes\n", assets[i].name.c_str(), assets[i].bytes.size());
        }
    }
    std::stable_sort(assets.begin(), assets.end(),
                     [](const datagen::Asset& a, const datagen::Asset& b) { return a.name < b.name; });
    std::string error = datagen::writeZip(out, assets);
    if (!error.empty()) {
        std::fprintf(stderr, "datagen: %s\n", error.c_str());
        return 1;
    }
    std::printf("datagen: wrote %s (%zu entries)\n", out.c_str(), assets.size());
    return 0;
}
