#include "resources/mesh.h"

#include "base/log.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/prefetch.h"
#include "resources/reload.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {

// Line-by-line reader over the file bytes into the shared 256-character line buffer.
// A line holds at most 255 characters before its newline; a longer one, or the end of
// the data, fails the reader for good (as a text stream would) and empties the buffer.
class LineReader {
public:
    LineReader(const char* data, size_t size, char (&buffer)[256])
        : cursor(data), end(data + size), line(buffer)
    {
    }

    bool next()
    {
        if (failed || cursor == end) {
            return fail();
        }
        size_t left = size_t(end - cursor);
        const char* newline = static_cast<const char*>(std::memchr(cursor, '\n', left < 256 ? left : 256));
        size_t length = newline ? size_t(newline - cursor) : left;
        if (length > 255) {
            longLine = true;
            return fail();
        }
        std::memcpy(line, cursor, length);
        line[length] = '\0';
        cursor += length + (newline ? 1 : 0);
        return true;
    }

    bool contains(const char* tag) const { return std::strstr(line, tag) != nullptr; }
    const char* text() const { return line; }
    // Whether the reader failed on a line over 255 characters rather than at the end.
    bool stoppedByLongLine() const { return longLine; }

private:
    bool fail()
    {
        failed = true;
        line[0] = '\0';
        return false;
    }

    const char* cursor;
    const char* end;
    char* line;
    bool failed = false;
    bool longLine = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

const char* skipBlanks(const char* p)
{
    while (isBlank(*p)) {
        ++p;
    }
    return p;
}

// One "%f" conversion: optional sign, decimal digits with point and exponent (also
// inf/nan). Returns the position after the number, or null when nothing converts.
const char* scanFloat(const char* p, float* value)
{
    p = skipBlanks(p);
    const char* start = p;
    bool plus = *p == '+';
    if (plus) {
        ++p;
        if (*p == '-' || *p == '+') {
            return nullptr;
        }
    }
#if defined(__cpp_lib_to_chars)
    const char* lineEnd = p + std::strlen(p);
    auto result = std::from_chars(p, lineEnd, *value, std::chars_format::general);
    if (result.ec == std::errc()) {
        return result.ptr;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: take what the C library makes of it (inf or 0).
        char* after = nullptr;
        *value = std::strtof(start, &after);
        return after != start ? after : nullptr;
    }
    return nullptr;
#else
    // A C++ library without from_chars for floats (the browser build's): the C library's
    // conversion, in the "C" locale as the program never sets another.
    char* after = nullptr;
    *value = std::strtof(start, &after);
    return after != start ? after : nullptr;
#endif
}

// One "%d" conversion: optional sign and decimal digits; values beyond 32 bits clamp.
const char* scanInt(const char* p, int32_t* value)
{
    p = skipBlanks(p);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v <= int64_t(1) << 32) {
            v = v * 10 + (*p - '0');
        }
        ++p;
    }
    if (p == digits) {
        return nullptr;
    }
    if (negative) {
        v = -v;
    }
    if (v > std::numeric_limits<int32_t>::max()) {
        v = std::numeric_limits<int32_t>::max();
    } else if (v < std::numeric_limits<int32_t>::min()) {
        v = std::numeric_limits<int32_t>::min();
    }
    *value = int32_t(v);
    return p;
}

// Scans up to `count` values of a line; values after the first that does not convert
// are 0. Every line appends a full set.
template <typename T, const char* (*Scan)(const char*, T*)>
void appendValues(const char* line, int count, std::vector<T>& out)
{
    T values[3] = {};
    const char* p = line;
    for (int i = 0; i < count && p; ++i) {
        p = Scan(p, &values[i]);
        if (!p) {
            values[i] = T();
        }
    }
    out.insert(out.end(), values, values + count);
}

// A number section: every line up to the closer appends one set of values. The closer
// is looked for on the lines after the opener only. Running out of data ends it; false
// then (the section never closed).
template <typename T, const char* (*Scan)(const char*, T*)>
bool readNumbers(LineReader& reader, const char* closer, int count, std::vector<T>& out)
{
    if (!reader.next()) {
        return false;
    }
    while (!reader.contains(closer)) {
        appendValues<T, Scan>(reader.text(), count, out);
        if (!reader.next()) {
            return false;
        }
    }
    return true;
}

bool skipSurfaces(LineReader& reader)
{
    while (!reader.contains("</surfaces>")) {
        if (!reader.next()) {
            return false;
        }
    }
    return true;
}

// The path between <source> and </source> with '/' turned into '\'; false when the
// line lacks either tag.
bool itemSource(const char* line, std::string* path)
{
    static const char open[] = "<source>";
    const char* start = std::strstr(line, open);
    if (!start) {
        return false;
    }
    start += sizeof open - 1;
    const char* stop = std::strstr(start, "</source>");
    if (!stop) {
        return false;
    }
    path->assign(start, stop);
    for (char& c : *path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return true;
}

// Texture items: "<item>", a "<source>path</source>" line, and one more line that is
// read and ignored. An item whose next line lacks the source is skipped (counted in
// *skipped), and that line is taken as an ordinary line of the section (it may be the
// closer or the next item). False when the data ends before the closer.
bool readTextures(LineReader& reader, std::vector<MeshTexture>& out, int* skipped)
{
    if (!reader.next()) {
        return false;
    }
    while (!reader.contains("</textures>")) {
        if (reader.contains("<item>")) {
            if (!reader.next()) {
                return false;
            }
            MeshTexture entry;
            if (!itemSource(reader.text(), &entry.path)) {
                ++*skipped;
                continue;
            }
            out.push_back(std::move(entry));
        }
        if (!reader.next()) {
            return false;
        }
    }
    return true;
}

}  // namespace

MmfDefects parseMmf(const char* data, size_t size, char (&lineBuffer)[256], Mesh& mesh)
{
    mesh.points.clear();
    mesh.normals.clear();
    mesh.uvs.clear();
    mesh.polygons.clear();
    mesh.textures.clear();

    MmfDefects defects;
    LineReader reader(data, size, lineBuffer);
    // Notes the section the reader stopped in; the reader has failed for good, so no
    // later opener is found on its emptied line.
    auto closed = [&](bool ok, const char* opener) {
        if (!ok) {
            defects.openSection = opener;
            defects.longLine = reader.stoppedByLongLine();
        }
    };
    while (reader.next()) {
        if (reader.contains("</MMF>")) {
            break;
        }
        // Each opener is tested on the current line, which after a section is the line
        // that ended it.
        if (reader.contains("<points>")) {
            closed(readNumbers<float, scanFloat>(reader, "</points>", 3, mesh.points), "<points>");
        }
        if (reader.contains("<normals>")) {
            closed(readNumbers<float, scanFloat>(reader, "</normals>", 3, mesh.normals), "<normals>");
        }
        if (reader.contains("<uvs>")) {
            closed(readNumbers<float, scanFloat>(reader, "</uvs>", 2, mesh.uvs), "<uvs>");
        }
        if (reader.contains("<polygons>")) {
            closed(readNumbers<int32_t, scanInt>(reader, "</polygons>", 3, mesh.polygons), "<polygons>");
        }
        if (reader.contains("<surfaces>")) {
            closed(skipSurfaces(reader), "<surfaces>");
        }
        if (reader.contains("<textures>")) {
            closed(readTextures(reader, mesh.textures, &defects.itemsWithoutSource), "<textures>");
        }
    }
    return defects;
}

int loadMesh(const char* path, Loader& loader, Mesh& mesh)
{
    if (!path) {
        path = "";
    }
    if (coreLog.created) {
        coreLog.stream << "\nload mmf: " << path << "\n";
    }
    uint32_t size = loader.fileSize(path);
    if (size == 0) {
        CORE_LOG(" file error, size 0");
        noteLoadFailure(path, "file error, size 0");
        return 1;
    }
    Mesh parsed;
    MmfDefects defects;
    try {
        // Parsed ahead while the loading bar faded in (a copy: a mesh can be loaded by
        // several parts; the worker keeps only meshes without defects), or now.
        if (const Mesh* ahead = prefetchedMesh(path)) {
            parsed = *ahead;
        } else {
            std::unique_ptr<char[]> bytes;
            if (const int failed = loader.readAll(path, size, bytes)) {
                if (failed == 2) {
                    CORE_LOG("\ndecompression error." << path);
                }
                return 1;
            }
            defects = parseMmf(bytes.get(), size, loader.lineBuffer, parsed);
        }
    } catch (const std::bad_alloc&) {
        noteLoadFailure(path, "out of memory while parsing");
        return 1;
    }
    // A file that stops inside a section lost its last lines (cut short), whatever the
    // rest looks like. Nobody needs a mesh without triangles, and one that indexes outside
    // its vertices would be drawn from outside its lists.
    const std::string problem = meshProblem(parsed, defects);
    if (!problem.empty()) {
        CORE_LOG("\tmesh rejected: " << problem << " (" << parsed.points.size() / 3 << " points, "
                                     << parsed.normals.size() / 3 << " normals, " << parsed.uvs.size() << " uvs, "
                                     << parsed.polygons.size() << " indices)");
        noteLoadFailure(path, "mesh rejected: " + problem);
        return 1;
    }
    if (defects.itemsWithoutSource > 0) {
        const std::string what = defects.itemsWithoutSource == 1
                                     ? std::string("a texture item without its source line, skipped")
                                     : std::to_string(defects.itemsWithoutSource) +
                                           " texture items without their source lines, skipped";
        CORE_LOG("\t" << what);
        noteLoadWarning(path, what);
    }
    mesh = std::move(parsed);
    reload::noteMesh(path, mesh);
    return 0;
}

std::string meshProblem(const Mesh& mesh, const MmfDefects& defects)
{
    if (defects.openSection) {
        return defects.longLine ? std::string("a line over 255 characters inside ") + defects.openSection
                                : std::string("the file ends inside ") + defects.openSection + " (cut short)";
    }
    if (mesh.polygons.empty()) {
        return "no triangles";
    }
    const char* problem = meshListsProblem(mesh.polygons, mesh.points, mesh.normals, mesh.uvs, !mesh.textures.empty());
    return problem ? problem : std::string();
}
