// The libraries of the browser build, each put to one small real use: built with
// emscripten against scripts/web-deps.sh's cache and run under node by
// `scripts/web-deps.sh --check`. One row per library; prints "N passed, N failed".
#include <GL/glu.h>
#include <SDL2/SDL.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <imgui.h>
#include <jpeglib.h>
#include <kiss_fftr.h>
#include <meshoptimizer.h>
#include <png.h>
#include <squish.h>
#include <stb/stb_image.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>
#include <zip.h>
#include <zlib.h>

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

bool zlibRoundTrip() {
    const std::string text(4000, 'x');
    uLongf packedSize = compressBound(text.size());
    Bytes packed(packedSize);
    if (compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()), text.size()) != Z_OK)
        return false;
    std::string back(text.size(), '\0');
    uLongf backSize = back.size();
    return packedSize < 100 &&
           uncompress(reinterpret_cast<Bytef*>(&back[0]), &backSize, packed.data(), packedSize) == Z_OK &&
           back == text;
}

// Writes an archive with one compressed entry to emscripten's in-memory file system and
// reads it back with its CRC checked: deflate, file offsets and the checksum together.
bool zipRoundTrip() {
    const std::string path = "/tmp/check.zip";
    const std::string text(10000, 'q');
    int error = 0;
    zip_t* out = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!out) return false;
    zip_source_t* source = zip_source_buffer(out, text.data(), text.size(), 0);
    if (!source || zip_file_add(out, "a.txt", source, ZIP_FL_OVERWRITE) < 0 || zip_close(out) != 0)
        return false;
    zip_t* in = zip_open(path.c_str(), ZIP_CHECKCONS, &error);
    if (!in) return false;
    zip_stat_t stat;
    std::string back;
    if (zip_stat(in, "a.txt", 0, &stat) == 0 && stat.comp_size < stat.size) {
        back.resize(stat.size);
        zip_file_t* file = zip_fopen(in, "a.txt", 0);
        if (file && zip_fread(file, &back[0], stat.size) != zip_int64_t(stat.size)) back.clear();
        if (file) zip_fclose(file);
    }
    zip_close(in);
    return back == text;
}

// Encodes the three Vorbis headers, reads them back, and lets vorbisfile refuse junk.
bool vorbisHeaders() {
    vorbis_info info;
    vorbis_info_init(&info);
    bool ok = vorbis_encode_init_vbr(&info, 2, 44100, 0.4f) == 0;
    vorbis_dsp_state dsp;
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    if (ok) {
        vorbis_analysis_init(&dsp, &info);
        ogg_packet packets[3];
        ok = vorbis_analysis_headerout(&dsp, &comment, &packets[0], &packets[1], &packets[2]) == 0;
        vorbis_info decoded;
        vorbis_comment decodedComment;
        vorbis_info_init(&decoded);
        vorbis_comment_init(&decodedComment);
        for (ogg_packet& packet : packets)
            ok = ok && vorbis_synthesis_headerin(&decoded, &decodedComment, &packet) == 0;
        ok = ok && decoded.rate == 44100 && decoded.channels == 2;
        vorbis_comment_clear(&decodedComment);
        vorbis_info_clear(&decoded);
        vorbis_dsp_clear(&dsp);
    }
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    const char junk[64] = "not an ogg stream";
    OggVorbis_File file;
    ov_callbacks atEnd = {[](void*, size_t, size_t, void*) -> size_t { return 0; }, nullptr, nullptr, nullptr};
    return ok && ov_test_callbacks(const_cast<char*>(junk), &file, junk, sizeof junk, atEnd) < 0;
}

bool freetypeStarts() {
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) return false;
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return major == 2;
}

// A 3x2 RGBA picture through libpng into memory, read back by stb_image.
bool pngToStb() {
    const int width = 3, height = 2;
    Bytes pixels(width * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 10);
    Bytes file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t size) {
            Bytes& out = *static_cast<Bytes*>(png_get_io_ptr(p));
            out.insert(out.end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, pixels.data() + y * width * 4);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    int w = 0, h = 0, channels = 0;
    unsigned char* back = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 4);
    const bool same = back && w == width && h == height && std::memcmp(back, pixels.data(), pixels.size()) == 0;
    stbi_image_free(back);
    return same;
}

// An 8x8 grey JPEG encoded to memory and decoded again.
bool jpegRoundTrip() {
    jpeg_compress_struct out;
    jpeg_error_mgr errors;
    out.err = jpeg_std_error(&errors);
    jpeg_create_compress(&out);
    unsigned char* file = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &file, &size);
    out.image_width = 8;
    out.image_height = 8;
    out.input_components = 1;
    out.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&out);
    jpeg_start_compress(&out, TRUE);
    unsigned char row[8] = {0, 32, 64, 96, 128, 160, 192, 224};
    while (out.next_scanline < 8) {
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&out, rows, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    jpeg_decompress_struct in;
    in.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&in);
    jpeg_mem_src(&in, file, size);
    bool ok = jpeg_read_header(&in, TRUE) == JPEG_HEADER_OK && in.image_width == 8;
    jpeg_start_decompress(&in);
    unsigned char back[8];
    while (ok && in.output_scanline < in.output_height) {
        JSAMPROW rows[1] = {back};
        jpeg_read_scanlines(&in, rows, 1);
        ok = std::abs(int(back[7]) - 224) < 8;
    }
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);
    free(file);
    return ok;
}

bool sdlStarts() {
    SDL_version version;
    SDL_GetVersion(&version);
    const bool ok = version.major == 2 && SDL_Init(SDL_INIT_TIMER) == 0;
    SDL_Quit();
    return ok;
}

// Builds ImGui's font atlas: its stb_truetype and stb_rect_pack come from libstb.
bool imguiAtlas() {
    ImGui::CreateContext();
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    ImGui::DestroyContext();
    return pixels && width > 0 && height > 0;
}

// The real FFT of a sine of 8 periods over 256 samples peaks in bin 8.
bool kissfftPeak() {
    const int n = 256;
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    std::vector<kiss_fft_scalar> in(n);
    std::vector<kiss_fft_cpx> out(n / 2 + 1);
    for (int i = 0; i < n; ++i) in[i] = std::sin(2.0f * float(M_PI) * 8.0f * float(i) / float(n));
    kiss_fftr(cfg, in.data(), out.data());
    kiss_fftr_free(cfg);
    int peak = 0;
    for (int i = 1; i <= n / 2; ++i)
        if (std::hypot(out[i].r, out[i].i) > std::hypot(out[peak].r, out[peak].i)) peak = i;
    return peak == 8;
}

bool meshoptimizerIndices() {
    const unsigned int indices[] = {0, 1, 2, 2, 1, 3, 2, 3, 4};
    unsigned int optimized[9];
    meshopt_optimizeVertexCache(optimized, indices, 9, 5);
    const meshopt_VertexCacheStatistics stats = meshopt_analyzeVertexCache(optimized, 9, 5, 16, 0, 0);
    return stats.vertices_transformed == 5;
}

// One 4x4 block of a flat colour survives DXT1 within its 5:6:5 precision.
bool squishBlock() {
    unsigned char rgba[16 * 4], block[8], back[16 * 4];
    for (int i = 0; i < 16; ++i) {
        rgba[i * 4] = 200;
        rgba[i * 4 + 1] = 100;
        rgba[i * 4 + 2] = 50;
        rgba[i * 4 + 3] = 255;
    }
    squish::Compress(rgba, block, squish::kDxt1);
    squish::Decompress(back, block, squish::kDxt1);
    for (int i = 0; i < 16 * 4; ++i)
        if (std::abs(int(back[i]) - int(rgba[i])) > 8) return false;
    return true;
}

// A square with a square hole, non-zero winding: GLU's tessellator gives 8 triangles.
bool gluTessellates() {
    static int vertices;
    vertices = 0;
    GLUtesselator* tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<_GLUfuncptr>(+[](GLboolean) {}));
    gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<_GLUfuncptr>(+[](void*) { ++vertices; }));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    GLdouble points[8][3] = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0},
                             {1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}};
    gluTessBeginPolygon(tess, nullptr);
    for (int contour = 0; contour < 2; ++contour) {
        gluTessBeginContour(tess);
        for (int i = 0; i < 4; ++i) gluTessVertex(tess, points[contour * 4 + i], points[contour * 4 + i]);
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    return vertices == 8 * 3;
}

// An XML round trip, then a truncated archive refused by a thrown exception.
bool boostXml() {
    std::vector<int> numbers = {3, 1, 4, 1, 5};
    std::string name = "Core";
    std::stringstream stream;
    {
        boost::archive::xml_oarchive out(stream);
        out << boost::serialization::make_nvp("numbers", numbers) << boost::serialization::make_nvp("name", name);
    }
    std::vector<int> numbersBack;
    std::string nameBack;
    {
        boost::archive::xml_iarchive in(stream);
        in >> boost::serialization::make_nvp("numbers", numbersBack) >> boost::serialization::make_nvp("name", nameBack);
    }
    if (numbersBack != numbers || nameBack != name) return false;
    std::stringstream broken(stream.str().substr(0, 20));
    try {
        boost::archive::xml_iarchive in(broken);
        in >> boost::serialization::make_nvp("numbers", numbersBack);
    } catch (const boost::archive::archive_exception&) {
        return true;
    }
    return false;
}

}  // namespace

int main() {
    const struct {
        const char* name;
        std::function<bool()> check;
    } rows[] = {
        {"zlib", zlibRoundTrip},          {"libzip", zipRoundTrip},   {"ogg+vorbis", vorbisHeaders},
        {"freetype", freetypeStarts},     {"libpng+stb", pngToStb},   {"libjpeg", jpegRoundTrip},
        {"SDL2", sdlStarts},              {"imgui", imguiAtlas},      {"kissfft", kissfftPeak},
        {"meshoptimizer", meshoptimizerIndices}, {"squish", squishBlock}, {"GLU tessellator", gluTessellates},
        {"Boost.Serialization", boostXml},
    };
    int passed = 0, failed = 0;
    for (const auto& row : rows) {
        const bool ok = row.check();
        std::printf("%s %s\n", ok ? "ok  " : "FAIL", row.name);
        ++(ok ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
