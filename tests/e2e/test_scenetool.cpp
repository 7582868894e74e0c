// scenetool on a scene from the test data: info, a round trip XML -> binary -> XML that
// keeps info and eval, and one-line errors for what it cannot read.
#include "scene_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string out;  // standard output and error
};

Result scenetool(const std::string& arguments)
{
    Result r;
    const std::string command = std::string(CORE_BINARY_DIR) + "/scenetool " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        r.out.append(buffer, n);
    }
    r.status = WEXITSTATUS(pclose(pipe));
    return r;
}

std::string withoutFirstLine(const std::string& text) { return text.substr(text.find('\n') + 1); }

}  // namespace

TEST(Scenetool, InfoAndARoundTripThroughTheBinaryEncoding)
{
    char pattern[] = "/tmp/scenetool_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::vector<uint8_t> xml = makeTestScene().xml();
    std::ofstream(dir + "/scene.xml", std::ios::binary).write(reinterpret_cast<const char*>(xml.data()), xml.size());

    const Result info = scenetool(dir + "/scene.xml info");  // verbs come first
    EXPECT_EQ(info.status, 2);
    const Result xmlInfo = scenetool("info " + dir + "/scene.xml");
    ASSERT_EQ(xmlInfo.status, 0) << xmlInfo.out;
    for (const char* line : {"scene.xml: xml archive, library version ",
                             "\nobjects 6, lights 1, cameras 1, materials 3, shaders 1 (samplers 1), textures 2\n",
                             "\nkeys by span type: tcb 70, hermite 0, bezier-tangent 0, linear 2, stepped 1, bezier 1, other 0\n",
                             "\nobject 5: type 1, points 1, normals 1, polygons 1, uvs 1, vbo 1, parent 1/4, surfaces 1, "
                             "keys 1 1 1 1 1 1 1 1 1, dissolve 2\n",
                             "\ncamera 1 \"Camera \"main\"\": target 0/0, keys 1 1 1 2 2 1 1 1 1, zoom 1\n", "\ncheck: ok\n"}) {
        EXPECT_NE(xmlInfo.out.find(line), std::string::npos) << line << "\n" << xmlInfo.out;
    }

    ASSERT_EQ(scenetool("convert " + dir + "/scene.xml " + dir + "/scene.bin --binary").status, 0);
    ASSERT_EQ(scenetool("convert " + dir + "/scene.bin " + dir + "/again.xml --xml").status, 0);
    const Result binaryInfo = scenetool("info " + dir + "/scene.bin");
    const Result againInfo = scenetool("info " + dir + "/again.xml");
    EXPECT_NE(binaryInfo.out.find("scene.bin: binary archive"), std::string::npos) << binaryInfo.out;
    EXPECT_EQ(withoutFirstLine(binaryInfo.out), withoutFirstLine(xmlInfo.out));
    EXPECT_EQ(withoutFirstLine(againInfo.out), withoutFirstLine(xmlInfo.out));
    // The layout of earlier builds (an item version in lists of numbers), and a binary
    // archive of a later library version.
    std::ofstream(dir + "/old.xml", std::ios::binary) << withNumberItemVersions(std::string(xml.begin(), xml.end()));
    std::string later;
    {
        std::ifstream in(dir + "/scene.bin", std::ios::binary);
        later.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    later[8 + 22] = 19;
    std::ofstream(dir + "/later.bin", std::ios::binary) << later;
    const Result oldInfo = scenetool("info " + dir + "/old.xml");
    EXPECT_EQ(oldInfo.out.substr(oldInfo.out.find(':')), xmlInfo.out.substr(xmlInfo.out.find(':')));
    const Result laterInfo = scenetool("info " + dir + "/later.bin");
    EXPECT_EQ(laterInfo.status, 0) << laterInfo.out;
    EXPECT_NE(laterInfo.out.find("later.bin: binary archive, library version 19\n"), std::string::npos) << laterInfo.out;
    EXPECT_EQ(withoutFirstLine(laterInfo.out), withoutFirstLine(xmlInfo.out));

    for (const char* query : {"--object 4 --channel 0 --time 0.37", "--object 5 --dissolve --time 10",
                              "--camera 1 --channel 3 --time 7.3", "--camera 1 --channel 4 --time 1.1",
                              "--camera 1 --zoom --time 2"}) {
        const Result a = scenetool(std::string("eval ") + dir + "/scene.xml " + query);
        const Result b = scenetool(std::string("eval ") + dir + "/again.xml " + query);
        EXPECT_EQ(a.status, 0) << query << a.out;
        EXPECT_EQ(a.out, b.out) << query;
    }
    EXPECT_EQ(scenetool("eval " + dir + "/scene.xml --object 4 --channel 0 --time 0.37").out, "1.85000002\n");

    // Unreadable files and impossible questions: one line, exit 1.
    std::ofstream(dir + "/cut.xml") << std::string(xml.begin(), xml.begin() + 900);
    for (const std::string& bad : {"info " + dir + "/cut.xml", "info " + dir + "/absent.xml",
                                   "eval " + dir + "/scene.xml --object 7 --channel 0 --time 0",
                                   "eval " + dir + "/scene.xml --camera 1 --channel 9 --time 0"}) {
        const Result r = scenetool(bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << bad << ": " << r.out;
        EXPECT_EQ(r.out.rfind("scenetool: ", 0), 0u) << r.out;
    }
    // Ids and channels are whole numbers: anything else is a bad command line.
    for (const char* query : {"--object 1.5 --channel 0", "--object 1e0 --channel 0", "--object -1 --channel 0",
                              "--object 1 --channel 0.5", "--camera 1.0 --zoom", "--object +1 --dissolve"}) {
        const Result r = scenetool(std::string("eval ") + dir + "/scene.xml " + query + " --time 0");
        EXPECT_EQ(r.status, 2) << query << ": " << r.out;
    }
    std::system(("rm -rf " + dir).c_str());
}
