#include "scene/scene_archive.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/basic_archive.hpp>
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/split_free.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <sstream>
#include <streambuf>
#include <string_view>
#include <type_traits>

namespace {

// Bytes of the archive being read: no list can hold more items, and no list of numbers
// or string more bytes, than this. Unlimited while writing.
thread_local size_t inputBytes = SIZE_MAX;

// The archive in memory. The XML reader takes its characters straight from it, so that
// what it has not read yet shows which element comes next.
class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(const char* data, size_t size)
    {
        char* begin = const_cast<char*>(data);
        setg(begin, begin, begin + size);
    }
    std::string_view unread() const { return std::string_view(gptr(), size_t(egptr() - gptr())); }
};
thread_local const MemoryBuffer* xmlInput = nullptr;

// True when the next element of the XML being read is `name`.
bool nextElementIs(std::string_view name)
{
    if (!xmlInput) {
        return false;
    }
    std::string_view text = xmlInput->unread();
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return false;
    }
    text.remove_prefix(start);
    if (text.size() < name.size() + 2 || text[0] != '<' || text.compare(1, name.size(), name) != 0) {
        return false;
    }
    const char after = text[name.size() + 1];
    return after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\r' || after == '\n';
}

// One std::vector field. Lists of records are written as the library's own std::vector
// support writes them (the same bytes, class information included): the count, the
// item version, the items. Lists of numbers are the count and the items: in XML without
// an item version (the library would write one; files from earlier builds carry it and
// are read either way), in a binary archive as one block, as the library writes them.
// Reading checks the counts against the input and appends items as they are read, so
// that a forged count allocates nothing.
template <class T>
struct ListOf {
    std::vector<T>& items;
};

}  // namespace

namespace boost {
namespace serialization {
template <class T>
struct implementation_level_impl<const ListOf<T>> {
    typedef mpl::integral_c_tag tag;
    typedef typename implementation_level<std::vector<T>>::type type;
    BOOST_STATIC_CONSTANT(int, value = type::value);
};
}  // namespace serialization
}  // namespace boost

namespace {

using boost::serialization::make_nvp;

[[noreturn]] void refuse(const char* what) { throw std::runtime_error(what); }

template <class Archive, class T>
void save(Archive& ar, const ListOf<T>& list, unsigned version)
{
    namespace bs = boost::serialization;
    if constexpr (std::is_arithmetic_v<T> && !bs::use_array_optimization<Archive>::template apply<T>::type::value) {
        const bs::collection_size_type count(list.items.size());
        ar << make_nvp("count", count);
        for (const T& item : list.items) {
            ar << make_nvp("item", item);
        }
    } else {
        bs::save(ar, static_cast<const std::vector<T>&>(list.items), version);
    }
}

template <class Archive, class T>
void load(Archive& ar, ListOf<T>& list, unsigned /*version*/)
{
    namespace bs = boost::serialization;
    bs::collection_size_type count;
    ar >> make_nvp("count", count);
    const bs::library_version_type version(ar.get_library_version());
    std::vector<T>& items = list.items;
    items.clear();
    if constexpr (bs::use_array_optimization<Archive>::template apply<T>::type::value) {
        if (size_t(count) > inputBytes / sizeof(T)) {
            refuse("list count exceeds the archive");
        }
        if (BOOST_SERIALIZATION_VECTOR_VERSIONED(version)) {
            bs::item_version_type itemVersion(0);
            ar >> make_nvp("item_version", itemVersion);
        }
        items.resize(count);
        if (count > 0) {
            ar >> bs::make_array<T, bs::collection_size_type>(items.data(), count);
        }
    } else {
        if (size_t(count) > inputBytes) {
            refuse("list count exceeds the archive");
        }
        // Records: an item version from library version 4 on. Numbers: one only in files
        // of earlier builds, told apart by the element itself.
        bs::item_version_type itemVersion(0);
        if (std::is_arithmetic_v<T> ? nextElementIs("item_version") : bs::library_version_type(3) < version) {
            ar >> make_nvp("item_version", itemVersion);
        }
        for (size_t i = 0; i < size_t(count); ++i) {
            T item;
            ar >> make_nvp("item", item);
            items.push_back(std::move(item));
        }
    }
}

template <class Archive, class T>
void serialize(Archive& ar, ListOf<T>& list, unsigned version)
{
    boost::serialization::split_free(ar, list, version);
}

template <class Archive, class T>
void list(Archive& ar, const char* name, std::vector<T>& items)
{
    ListOf<T> wrapper{items};
    ar& make_nvp(name, wrapper);
}

// Strings: the binary reader would size a string from its length field before reading
// it; read the same bytes with the length checked first.
template <class Archive>
void text(Archive& ar, const char* name, std::string& s)
{
    if constexpr (std::is_same_v<Archive, boost::archive::binary_iarchive>) {
        std::size_t length = 0;
        ar.load_binary(&length, sizeof length);
        if (length > inputBytes) {
            refuse("string length exceeds the archive");
        }
        s.resize(length);
        if (length > 0) {
            ar.load_binary(&s[0], length);
        }
    } else {
        ar& make_nvp(name, s);
    }
}

}  // namespace

// ---- the records, field by field in archive order ----

#define FIELD(name) ar& make_nvp(#name, r.name)

template <class Archive>
void serialize(Archive& ar, Info& r, unsigned)
{
    text(ar, "tool", r.tool);
    text(ar, "copyright", r.copyright);
    text(ar, "version", r.version);
    text(ar, "modified", r.modified);
}

template <class Archive>
void serialize(Archive& ar, Vector3& r, unsigned)
{
    FIELD(x);
    FIELD(y);
    FIELD(z);
}

template <class Archive>
void serialize(Archive& ar, BoundingBox& r, unsigned)
{
    FIELD(minX);
    FIELD(minY);
    FIELD(minZ);
    FIELD(maxX);
    FIELD(maxY);
    FIELD(maxZ);
}

template <class Archive>
void serialize(Archive& ar, Parent& r, unsigned)
{
    FIELD(type);
    FIELD(number);
}

template <class Archive>
void serialize(Archive& ar, Target& r, unsigned)
{
    FIELD(type);
    FIELD(number);
}

template <class Archive>
void serialize(Archive& ar, Key& r, unsigned)
{
    FIELD(value);
    FIELD(time);
    FIELD(spanType);
    FIELD(p1);
    FIELD(p2);
    FIELD(p3);
    FIELD(p4);
    FIELD(p5);
    FIELD(p6);
}

template <class Archive>
void serialize(Archive& ar, Envelope& r, unsigned)
{
    list(ar, "key", r.key);
    FIELD(pre);
    FIELD(post);
}

template <class Archive>
void serialize(Archive& ar, Motion& r, unsigned)
{
    list(ar, "channel", r.channel);
}

template <class Archive>
void serialize(Archive& ar, Surface& r, unsigned)
{
    FIELD(materialID);
    FIELD(polyCount);
    FIELD(polyOffset);
    FIELD(min);
    FIELD(max);
}

template <class Archive>
void serialize(Archive& ar, Object& r, unsigned)
{
    FIELD(type);
    FIELD(pointsID);
    FIELD(normalsID);
    FIELD(polygonsID);
    FIELD(uvsID);
    FIELD(vboID);
    FIELD(phType);
    FIELD(phMass);
    FIELD(boundingBox);
    FIELD(pivot);
    FIELD(parent);
    FIELD(target);
    list(ar, "surface", r.surface);
    FIELD(motion);
    FIELD(dissolve);
}

template <class Archive>
void serialize(Archive& ar, Light& r, unsigned)
{
    FIELD(type);
    FIELD(r);
    FIELD(g);
    FIELD(b);
    FIELD(intensity);
    FIELD(parent);
    FIELD(target);
    FIELD(motion);
}

template <class Archive>
void serialize(Archive& ar, Points& r, unsigned)
{
    FIELD(crc);
    list(ar, "data", r.data);
}

template <class Archive>
void serialize(Archive& ar, Normals& r, unsigned)
{
    FIELD(crc);
    list(ar, "data", r.data);
}

template <class Archive>
void serialize(Archive& ar, Uv& r, unsigned)
{
    FIELD(crc);
    list(ar, "data", r.data);
}

template <class Archive>
void serialize(Archive& ar, Polygons& r, unsigned)
{
    FIELD(crc);
    list(ar, "data", r.data);
}

template <class Archive>
void serialize(Archive& ar, LibGeometry& r, unsigned)
{
    list(ar, "points", r.points);
    list(ar, "normals", r.normals);
    list(ar, "uvs", r.uvs);
    list(ar, "polygons", r.polygons);
}

template <class Archive>
void serialize(Archive& ar, Camera& r, unsigned)
{
    text(ar, "name", r.name);
    FIELD(parent);
    FIELD(target);
    FIELD(motion);
    FIELD(zoomFactor);
}

template <class Archive>
void serialize(Archive& ar, Material& r, unsigned)
{
    FIELD(crc);
    FIELD(r);
    FIELD(g);
    FIELD(b);
    FIELD(mappingType);
    FIELD(shader);
    FIELD(tTexID);
    FIELD(rTexID);
}

template <class Archive>
void serialize(Archive& ar, Sampler& r, unsigned)
{
    text(ar, "name", r.name);
    FIELD(texID);
}

template <class Archive>
void serialize(Archive& ar, Shader& r, unsigned)
{
    FIELD(crc);
    text(ar, "source", r.source);
    list(ar, "sampler", r.sampler);
}

template <class Archive>
void serialize(Archive& ar, Texture& r, unsigned)
{
    FIELD(crc);
    text(ar, "source", r.source);
}

template <class Archive>
void serialize(Archive& ar, LibCamera& r, unsigned)
{
    list(ar, "camera", r.camera);
}

template <class Archive>
void serialize(Archive& ar, LibMaterial& r, unsigned)
{
    list(ar, "material", r.material);
}

template <class Archive>
void serialize(Archive& ar, LibShader& r, unsigned)
{
    list(ar, "shaders", r.shaders);
}

template <class Archive>
void serialize(Archive& ar, LibTexture& r, unsigned)
{
    list(ar, "textures", r.textures);
}

template <class Archive>
void serialize(Archive& ar, Tessary& r, unsigned)
{
    FIELD(info);
    list(ar, "object", r.object);
    list(ar, "light", r.light);
    FIELD(libGeometry);
    FIELD(libCamera);
    FIELD(libMaterial);
    FIELD(libShader);
    FIELD(libTexture);
}

#undef FIELD

// ---- reading and writing ----

namespace {

// The root the reader allocated while a read is running and it has not been freed.
thread_local void* pendingRoot = nullptr;

}  // namespace

void* Tessary::operator new(size_t size)
{
    pendingRoot = ::operator new(size);
    return pendingRoot;
}

void Tessary::operator delete(void* p)
{
    if (p == pendingRoot) {
        pendingRoot = nullptr;
    }
    ::operator delete(p);
}

SceneEncoding sceneEncoding(const char* data, size_t size)
{
    return size > 0 && data[0] == '<' ? SceneEncoding::Xml : SceneEncoding::Binary;
}

namespace {

struct RootRead {};

// The XML reader's destructor parses the closing tags and throws when they are missing
// (a file cut after the root); thrown from a destructor that would end the process. It
// skips that parse while an exception is in flight, so the reader is left by one.
// A read that fails half-way leaves the root it created (and possibly filled in part)
// to the caller.
template <class Reader>
void readRoot(std::istream& in, unsigned flags, std::unique_ptr<Tessary>* root, unsigned* libraryVersion)
{
    try {
        Reader reader(in, flags);
        Tessary* tree = nullptr;
        pendingRoot = nullptr;
        try {
            reader >> make_nvp("tsy", tree);
        } catch (...) {
            reader.delete_created_pointers();
            if (pendingRoot) {
                // Constructed (the reader builds it before reading into it), never handed out.
                delete static_cast<Tessary*>(pendingRoot);
            }
            throw;
        }
        pendingRoot = nullptr;
        root->reset(tree);
        if (libraryVersion) {
            *libraryVersion = unsigned(reader.get_library_version());
        }
        throw RootRead{};
    } catch (const RootRead&) {
    }
}

// The library trusts the class id and object id of the root pointer: others reach
// entries of its class table that do not exist. So the root's preamble must be the one
// every scene file has. In XML that is the root element's tag; in a binary archive it is
// everything up to the first text of the tree (the header with the signature, whose
// length the library would otherwise use to size a string before checking it, the
// library version, the sizes of the native types, then the root's and the Info record's
// class information), the same bytes in every file but for the version.
const char xmlRootTag[] = "<tsy class_id=\"0\" tracking_level=\"1\" version=\"0\" object_id=\"_0\">";

const std::string& binaryPreamble()
{
    static const std::string preamble = [] {
        Tessary empty, named;
        named.info.tool = "x";
        std::ostringstream a, b;
        writeScene(empty, SceneEncoding::Binary, a);
        writeScene(named, SceneEncoding::Binary, b);
        const std::string x = a.str(), y = b.str();
        size_t i = 0;
        while (i < x.size() && i < y.size() && x[i] == y[i]) {
            ++i;
        }
        return x.substr(0, i);  // up to the tool's length
    }();
    return preamble;
}

// The binary header: the signature's length (8 bytes) and text, the library version
// (16 bits from version 8 on, one byte before), four sizes and an int 1.
constexpr size_t binaryVersionAt = 8 + 22;
constexpr size_t binaryHeaderSize = binaryVersionAt + 2 + 4 + 4;
// Binary archives of library versions 8 and later share one layout for everything a
// scene holds; earlier ones sized their counts, versions and class ids differently.
constexpr unsigned oldestBinaryVersion = 8;

bool knownXmlRoot(std::string_view text)
{
    // The header as the library writes it (any version number), then the root.
    auto expect = [&text](std::string_view literal) {
        const size_t start = text.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos || text.compare(start, literal.size(), literal) != 0) {
            return false;
        }
        text.remove_prefix(start + literal.size());
        return true;
    };
    if (!expect("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>") ||
        !expect("<!DOCTYPE boost_serialization>") ||
        !expect("<boost_serialization signature=\"serialization::archive\" version=\"")) {
        return false;
    }
    const size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || digits > 5 || digits == std::string_view::npos) {
        return false;
    }
    text.remove_prefix(digits);
    return expect("\">") && expect(xmlRootTag);
}

// The library version a binary scene archive names; throws unless the rest of its
// preamble is this layout's.
unsigned binaryVersion(const char* data, size_t size)
{
    const std::string& preamble = binaryPreamble();
    if (size < preamble.size() || std::memcmp(data, preamble.data(), binaryVersionAt) != 0) {
        throw std::runtime_error("not a scene archive of this layout");
    }
    const unsigned low = uint8_t(data[binaryVersionAt]);
    if (low < oldestBinaryVersion) {
        throw std::runtime_error("binary archive of library version " + std::to_string(low) +
                                 ", older than this reader knows (" + std::to_string(oldestBinaryVersion) + ")");
    }
    const size_t rest = binaryVersionAt + 2;
    if (std::memcmp(data + rest, preamble.data() + rest, preamble.size() - rest) != 0) {
        throw std::runtime_error("not a scene archive of this layout");
    }
    return low | unsigned(uint8_t(data[binaryVersionAt + 1])) << 8;
}

// The reader's message without the text of a stale errno the library appends to a
// failed read ("input stream error-Resource temporarily unavailable").
std::string readerMessage(const boost::archive::archive_exception& e)
{
    if (e.code == boost::archive::archive_exception::input_stream_error) {
        return "input stream error";
    }
    return e.what();
}

}  // namespace

int readScene(const char* data, size_t size, SceneEncoding encoding, std::unique_ptr<Tessary>* root,
              std::string* error, unsigned* libraryVersion)
{
    root->reset();
    inputBytes = size;
    try {
        if (encoding == SceneEncoding::Xml) {
            if (!knownXmlRoot(std::string_view(data, size))) {
                throw std::runtime_error("not a scene archive of this layout");
            }
            MemoryBuffer buffer(data, size);
            std::istream in(&buffer);
            xmlInput = &buffer;
            // This release compares an end tag with the expected name over the length of
            // the tag found in the file, reading past the expected name when the file's
            // is longer; the comparison stays off (start tags are never compared, and the
            // values must still come in order). A later library version is read as this
            // release's: the layout of everything a scene holds is the same.
            readRoot<boost::archive::xml_iarchive>(in, boost::archive::no_xml_tag_checking, root, libraryVersion);
        } else {
            // The header is checked here and the reader starts behind it, on the layout of
            // this release (the library refuses later versions and misreads versions of
            // 256 and above).
            const unsigned version = binaryVersion(data, size);
            MemoryBuffer buffer(data + binaryHeaderSize, size - binaryHeaderSize);
            std::istream in(&buffer);
            readRoot<boost::archive::binary_iarchive>(in, boost::archive::no_header, root, nullptr);
            if (libraryVersion) {
                *libraryVersion = version;
            }
        }
    } catch (const boost::archive::archive_exception& e) {
        root->reset();
        *error = readerMessage(e);
    } catch (const std::exception& e) {
        root->reset();
        *error = e.what();
    } catch (...) {
        root->reset();
        *error = "unknown reader error";
    }
    xmlInput = nullptr;
    inputBytes = SIZE_MAX;
    if (!*root && error->empty()) {
        *error = "the archive holds no scene";
    }
    return *root ? 0 : 1;
}

void writeScene(const Tessary& scene, SceneEncoding encoding, std::ostream& out)
{
    const Tessary* tree = &scene;
    if (encoding == SceneEncoding::Xml) {
        boost::archive::xml_oarchive writer(out);
        writer << make_nvp("tsy", tree);
    } else {
        boost::archive::binary_oarchive writer(out);
        writer << make_nvp("tsy", tree);
    }
}

unsigned sceneArchiveVersion() { return unsigned(boost::archive::BOOST_ARCHIVE_VERSION()); }
