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
#include <zip.h>

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// An archive with one deflated entry written to the in-memory file system and read back
// with its CRC checked: zlib, file offsets and checksums together.
bool zipRoundTrip() {
    const std::string text(10000, 'q');
    int error = 0;
    zip_t* out = zip_open("/tmp/check.zip", ZIP_CREATE | ZIP_TRUNCATE, &error);
    zip_source_t* source = out ? zip_source_buffer(out, text.data(), text.size(), 0) : nullptr;
    if (!source || zip_file_add(out, "a.txt", source, 0) < 0 || zip_close(out) != 0) return false;
    zip_t* in = zip_open("/tmp/check.zip", ZIP_CHECKCONS, &error);
    zip_file_t* file = in ? zip_fopen(in, "a.txt", 0) : nullptr;
    std::string back(text.size() + 1, '\0');
    const zip_int64_t read = file ? zip_fread(file, &back[0], back.size()) : -1;
    if (file) zip_fclose(file);
    if (in) zip_close(in);
    return read == zip_int64_t(text.size()) && back.compare(0, text.size(), text) == 0;
}

// The three Vorbis headers encoded (ogg packets) and read back.
bool vorbisHeaders() {
    vorbis_info info, decoded;
    vorbis_comment comment, decodedComment;
    vorbis_dsp_state dsp;
    ogg_packet packets[3];
    vorbis_info_init(&info);
    vorbis_info_init(&decoded);
    vorbis_comment_init(&comment);
    vorbis_comment_init(&decodedComment);
    bool ok = vorbis_encode_init_vbr(&info, 2, 44100, 0.4f) == 0 && vorbis_analysis_init(&dsp, &info) == 0 &&
              vorbis_analysis_headerout(&dsp, &comment, &packets[0], &packets[1], &packets[2]) == 0;
    for (ogg_packet& packet : packets) ok = ok && vorbis_synthesis_headerin(&decoded, &decodedComment, &packet) == 0;
    return ok && decoded.rate == 44100 && decoded.channels == 2;
}

bool freetypeStarts() {
    FT_Library library;
    FT_Int major = 0, minor, patch;
    if (FT_Init_FreeType(&library) != 0) return false;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return major == 2;
}

// Decodes with stb_image (which stands in for the desktop's image library).
bool stbDecodes(const Bytes& file, int width, int height, const unsigned char* expected, int tolerance) {
    int w = 0, h = 0, channels = 0;
    unsigned char* back = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 1);
    bool same = back && w == width && h == height;
    for (int i = 0; same && i < width * height; ++i) same = std::abs(back[i] - expected[i]) <= tolerance;
    stbi_image_free(back);
    return same;
}

const unsigned char kGreys[8] = {0, 32, 64, 96, 128, 160, 192, 224};

// An 8x1 grey picture written by libpng into memory, read back exactly.
bool pngWrites() {
    Bytes file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &file, [](png_structp p, png_bytep data, png_size_t size) {
        static_cast<Bytes*>(png_get_io_ptr(p))->insert(static_cast<Bytes*>(png_get_io_ptr(p))->end(), data, data + size);
    }, nullptr);
    png_set_IHDR(png, info, 8, 1, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_row(png, kGreys);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return stbDecodes(file, 8, 1, kGreys, 0);
}

// The same row as a JPEG from libjpeg, read back within the codec's loss.
bool jpegWrites() {
    jpeg_compress_struct out;
    jpeg_error_mgr errors;
    unsigned char* file = nullptr;
    unsigned long size = 0;
    out.err = jpeg_std_error(&errors);
    jpeg_create_compress(&out);
    jpeg_mem_dest(&out, &file, &size);
    out.image_width = 8;
    out.image_height = 1;
    out.input_components = 1;
    out.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, 95, TRUE);
    jpeg_start_compress(&out, TRUE);
    JSAMPROW row = const_cast<JSAMPROW>(kGreys);
    jpeg_write_scanlines(&out, &row, 1);
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    const bool ok = stbDecodes(Bytes(file, file + size), 8, 1, kGreys, 8);
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

// ImGui's font atlas: its stb_truetype and stb_rect_pack come from libstb.
bool imguiAtlas() {
    ImGui::CreateContext();
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    ImGui::DestroyContext();
    return pixels && width > 0 && height > 0;
}

// A sine of 8 periods over 256 samples peaks in bin 8.
bool kissfftPeak() {
    const int n = 256;
    std::vector<kiss_fft_scalar> in(n);
    std::vector<kiss_fft_cpx> out(n / 2 + 1);
    for (int i = 0; i < n; ++i) in[i] = std::sin(2.0f * float(M_PI) * 8.0f * float(i) / float(n));
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
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
    return meshopt_analyzeVertexCache(optimized, 9, 5, 16, 0, 0).vertices_transformed == 5;
}

// A flat 4x4 block survives DXT1 within its 5:6:5 precision.
bool squishBlock() {
    unsigned char rgba[64], block[8], back[64];
    for (int i = 0; i < 64; ++i) rgba[i] = (i % 4 == 3) ? 255 : 200 - 50 * (i % 4);
    squish::Compress(rgba, block, squish::kDxt1);
    squish::Decompress(back, block, squish::kDxt1);
    for (int i = 0; i < 64; ++i)
        if (std::abs(back[i] - rgba[i]) > 8) return false;
    return true;
}

// A square with a square hole (odd winding) is 8 triangles.
int tessVertices;
bool gluTessellates() {
    tessVertices = 0;
    GLUtesselator* tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<_GLUfuncptr>(+[](GLboolean) {}));
    gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<_GLUfuncptr>(+[](void*) { ++tessVertices; }));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    GLdouble points[8][3] = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}};
    gluTessBeginPolygon(tess, nullptr);
    for (int contour = 0; contour < 2; ++contour) {
        gluTessBeginContour(tess);
        for (GLdouble* point = points[contour * 4]; point != points[contour * 4 + 4]; point += 3)
            gluTessVertex(tess, point, point);
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    return tessVertices == 8 * 3;
}

// An XML round trip, then a truncated archive refused by an exception (built with them on).
bool boostXml() {
    using boost::serialization::make_nvp;
    std::vector<int> numbers = {3, 1, 4, 1, 5}, numbersBack;
    std::string name = "Core", nameBack;
    std::stringstream stream;
    {
        boost::archive::xml_oarchive out(stream);
        out << make_nvp("numbers", numbers) << make_nvp("name", name);
    }
    std::stringstream broken(stream.str().substr(0, stream.str().size() / 2));
    {
        boost::archive::xml_iarchive in(stream);
        in >> make_nvp("numbers", numbersBack) >> make_nvp("name", nameBack);
    }
    try {
        std::vector<int> partial;
        std::string partialName;
        boost::archive::xml_iarchive in(broken);
        in >> make_nvp("numbers", partial) >> make_nvp("name", partialName);
    } catch (const boost::archive::archive_exception&) {
        return numbersBack == numbers && nameBack == name;
    }
    return false;
}

}  // namespace

int main() {
    const struct {
        const char* name;
        bool (*check)();
    } rows[] = {
        {"libzip+zlib", zipRoundTrip}, {"ogg+vorbis", vorbisHeaders}, {"freetype", freetypeStarts},
        {"libpng+stb", pngWrites},     {"libjpeg+stb", jpegWrites},  {"SDL2", sdlStarts},
        {"imgui", imguiAtlas},         {"kissfft", kissfftPeak},     {"meshoptimizer", meshoptimizerIndices},
        {"squish", squishBlock},       {"GLU tessellator", gluTessellates}, {"Boost.Serialization", boostXml},
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
