// datagen: builds the demo's data archive.
//   datagen [--data DIR] [--out FILE] [--only GLOB] [--preview DIR] [--jobs N]
//   datagen --icons DIR
// --icons writes the program's icons below DIR (the hicolor theme's layout) and
// nothing else. --only keeps the generators whose name matches the shell pattern; --preview also
// writes a PNG per entry and DIR/contact.png; --out - writes no archive; --jobs runs
// that many generators at once (default: one per core). The archive's bytes never
// depend on --jobs.
#include "datagen/asset.h"
#include "datagen/icon.h"
#include "datagen/parallel.h"
#include "datagen/preview.h"
#include "datagen/zip_writer.h"

#include <fnmatch.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Outcome {
    std::vector<datagen::Asset> assets;
    std::string error;
};

// Seconds each generator took on the last run (kept next to the archive as FILE.times):
// the slowest start first, so that a long generator does not begin when the rest
// are done. Unknown generators count as slow. Only the order of work depends on it.
std::map<std::string, double> readTimes(const std::string& path)
{
    std::map<std::string, double> times;
    std::ifstream in(path);
    double seconds;
    std::string name;
    while (in >> seconds >> name) {
        times[name] = seconds;
    }
    return times;
}

void writeTimes(const std::string& path, const std::map<std::string, double>& times)
{
    std::ofstream out(path);
    for (const auto& entry : times) {
        out << entry.second << " " << entry.first << "\n";
    }
}

int usage()
{
    std::fprintf(stderr, "usage: datagen [--data DIR] [--out FILE] [--only GLOB] [--preview DIR] [--jobs N]\n"
                         "       datagen --icons DIR\n");
    return 2;
}

// DIR/48x48/apps/coredemo.png ... DIR/scalable/apps/coredemo.svg.
int writeIcons(const std::string& dir)
{
    for (const datagen::Asset& icon : datagen::generateIcons()) {
        const std::filesystem::path path = std::filesystem::path(dir) / icon.name;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(icon.bytes.data()), std::streamsize(icon.bytes.size()));
        file.close();
        if (!file) {
            std::fprintf(stderr, "datagen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("datagen: icons written to %s\n", dir.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    datagen::Context context;
    context.dataDir = "data";
    std::string out = "data.zip";
    std::string only, previewDir;
    int jobs = datagen::workerCount();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        if (arg == "--data") {
            context.dataDir = argv[++i];
        } else if (arg == "--out") {
            out = argv[++i];
        } else if (arg == "--only") {
            only = argv[++i];
        } else if (arg == "--preview") {
            previewDir = argv[++i];
        } else if (arg == "--icons") {
            return i + 2 == argc ? writeIcons(argv[i + 1]) : usage();
        } else if (arg == "--jobs") {
            jobs = std::max(1, std::atoi(argv[++i]));
        } else {
            return usage();
        }
    }
    std::vector<const datagen::Generator*> selected;
    for (const datagen::Generator& generator : datagen::registry()) {
        if (only.empty() || fnmatch(only.c_str(), generator.name, 0) == 0) {
            selected.push_back(&generator);
        }
    }
    if (selected.empty()) {
        std::fprintf(stderr, "datagen: no generator matches %s\n", only.c_str());
        return 1;
    }
    // Workers take generators slowest first; each result lands in the slot of its
    // registry position, so the archive is the same whatever finishes first.
    const std::string timesPath = out == "-" ? std::string() : out + ".times";
    std::map<std::string, double> times = timesPath.empty() ? std::map<std::string, double>() : readTimes(timesPath);
    std::vector<size_t> order(selected.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    auto lastTime = [&](size_t i) {
        auto found = times.find(selected[i]->name);
        return found == times.end() ? 1e9 : found->second;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lastTime(a) > lastTime(b); });
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::vector<Outcome> outcomes(selected.size());
    std::atomic<size_t> next(0);
    std::mutex printing;
    auto work = [&] {
        for (size_t k = next++; k < order.size(); k = next++) {
            const size_t i = order[k];
            Clock::time_point begin = Clock::now();
            try {
                selected[i]->run(context, outcomes[i].assets);
            } catch (const std::exception& e) {
                outcomes[i].error = e.what();
            }
            double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
            std::lock_guard<std::mutex> lock(printing);
            times[selected[i]->name] = seconds;
            for (const datagen::Asset& asset : outcomes[i].assets) {
                std::printf("datagen: %-40s %10zu bytes\n", asset.name.c_str(), asset.bytes.size());
            }
            std::printf("datagen: [%s] %s in %.2f s\n", selected[i]->name, outcomes[i].error.empty() ? "done" : "FAILED",
                        seconds);
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int w = 1; w < std::min<int>(jobs, int(selected.size())); ++w) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& t : workers) {
        t.join();
    }
    std::vector<datagen::Asset> assets;
    int failures = 0;
    for (size_t i = 0; i < selected.size(); ++i) {
        if (!outcomes[i].error.empty()) {
            std::fprintf(stderr, "datagen: %s: %s\n", selected[i]->name, outcomes[i].error.c_str());
            ++failures;
        }
        for (datagen::Asset& asset : outcomes[i].assets) {
            assets.push_back(std::move(asset));
        }
    }
    if (failures) {
        return 1;
    }
    if (!timesPath.empty()) {
        writeTimes(timesPath, times);
    }
    std::stable_sort(assets.begin(), assets.end(),
                     [](const datagen::Asset& a, const datagen::Asset& b) { return a.name < b.name; });
    for (size_t i = 1; i < assets.size(); ++i) {
        if (assets[i].name == assets[i - 1].name) {
            std::fprintf(stderr, "datagen: two generators wrote %s\n", assets[i].name.c_str());
            return 1;
        }
    }
    std::string error = out == "-" ? std::string() : datagen::writeZip(out, assets);
    if (!error.empty()) {
        std::fprintf(stderr, "datagen: %s\n", error.c_str());
        return 1;
    }
    size_t total = 0;
    for (const datagen::Asset& asset : assets) {
        total += asset.bytes.size();
    }
    std::printf("datagen: %s %s (%zu entries, %.1f MB before compression) in %.1f s\n", out == "-" ? "generated" : "wrote",
                out == "-" ? "the entries" : out.c_str(), assets.size(),
                total / 1048576.0, std::chrono::duration<double>(Clock::now() - start).count());
    if (!previewDir.empty()) {
        int count = datagen::writePreviews(assets, previewDir);
        if (count < 0) {
            std::fprintf(stderr, "datagen: cannot write previews to %s\n", previewDir.c_str());
            return 1;
        }
        std::printf("datagen: %d previews and %s/contact.png\n", count, previewDir.c_str());
    }
    return 0;
}
