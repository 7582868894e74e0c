// datagen's contract: a generator produces one or more archive entries from code and
// from the hand-written sources under data/. Generators are registered in registry.cpp,
// must be deterministic (fixed seeds, no clocks, no thread-order dependence) and must
// not write outside the entries they return. datagen runs several generators at once
// (one per core), so a generator keeps no mutable state shared with others; it may
// split its own work with parallelFor (parallel.h). Entry names are unique archive-wide.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

struct Asset {
    std::string name;            // archive path, forward slashes, lower-case folders
    std::vector<uint8_t> bytes;
};

struct Context {
    std::string dataDir;         // the repository's data/ folder
};

using GeneratorFn = void (*)(const Context& context, std::vector<Asset>& out);

struct Generator {
    const char* name;            // what --only matches against (the entries' common path)
    GeneratorFn run;
};

// Every generator, in the order the archive is built.
const std::vector<Generator>& registry();

// Reads a file below data/; throws std::runtime_error naming the path when it is missing.
std::vector<uint8_t> readSource(const Context& context, const std::string& relativePath);

}  // namespace datagen
