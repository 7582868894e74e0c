#include "gl_fixture.h"
#include "log_capture.h"

#include "base/log.h"
#include "scene/render_target.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Every framebuffer bind the code makes goes through this wrapper while installed.
std::vector<GLuint> binds;
PFNGLBINDFRAMEBUFFERPROC realBind = nullptr;
void GLAPIENTRY countingBind(GLenum target, GLuint framebuffer)
{
    binds.push_back(framebuffer);
    realBind(target, framebuffer);
}

GLuint boundFramebuffer()
{
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    return GLuint(bound);
}

class RenderTargetTest : public GlTest {
protected:
    void SetUp() override
    {
        logCapture.open("rt");
        ASSERT_FALSE(HasFatalFailure());
        resolveFramebufferBind();
        realBind = epoxy_glBindFramebuffer;
        epoxy_glBindFramebuffer = countingBind;
        binds.clear();
    }
    void TearDown() override
    {
        epoxy_glBindFramebuffer = realBind;
        logCapture.close();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    std::string logText() const { return logCapture.text(); }
    LogCapture logCapture;
};

}  // namespace

TEST_F(RenderTargetTest, CreatedTargetsAreCompleteAndLeaveTheWindowFramebufferBound)
{
    RenderTarget small, wide;
    EXPECT_EQ(small.create(256, 256), 0);
    EXPECT_EQ(wide.create(1280, 720), 0);
    EXPECT_EQ(boundFramebuffer(), 0u);
    EXPECT_EQ(small.width, 256);
    EXPECT_EQ(wide.height, 720);
    GLint bound = 0, internal = 0, w = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), wide.colorTexture) << "the colour texture stays bound";
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(internal, GL_RGBA8);
    EXPECT_EQ(w, 1280);

    binds.clear();
    EXPECT_EQ(small.checkStatus(), 0);
    EXPECT_EQ(wide.checkStatus(), 0);
    EXPECT_EQ(binds, (std::vector<GLuint>{small.framebuffer, 0, wide.framebuffer, 0}));
    EXPECT_EQ(boundFramebuffer(), 0u);
    std::string expected = "fbo " + std::to_string(small.framebuffer) + " status: complete\nfbo " +
                           std::to_string(wide.framebuffer) + " status: complete\n";
    EXPECT_NE(logText().find(expected), std::string::npos) << logText();

    small.destroy();
    wide.destroy();
    EXPECT_FALSE(glIsFramebuffer(small.framebuffer));
}

TEST_F(RenderTargetTest, NoBindWhenAlreadyBoundAndUnbindAfterwards)
{
    RenderTarget target;
    target.create(64, 64);
    realBind(GL_FRAMEBUFFER, target.framebuffer);
    binds.clear();
    EXPECT_EQ(target.attachColorTexture(target.colorTexture), target.framebuffer)
        << "returns the binding found on entry";
    EXPECT_EQ(binds, (std::vector<GLuint>{0})) << "only the unbind";
    EXPECT_EQ(boundFramebuffer(), 0u);

    // Bound from elsewhere: bind, work, unbind.
    binds.clear();
    EXPECT_EQ(target.attachColorTexture(target.colorTexture), 0u);
    EXPECT_EQ(binds, (std::vector<GLuint>{target.framebuffer, 0}));

    // Another target bound on entry: it is replaced, and the window's framebuffer is
    // bound afterwards.
    RenderTarget other;
    other.create(32, 32);
    realBind(GL_FRAMEBUFFER, other.framebuffer);
    binds.clear();
    target.checkStatus();
    EXPECT_EQ(binds, (std::vector<GLuint>{target.framebuffer, 0}));
    target.destroy();
    other.destroy();
}

TEST_F(RenderTargetTest, StatusTextsAndResults)
{
    RenderTarget target;
    target.create(16, 16);
    target.attachColorTexture(0);
    EXPECT_EQ(target.checkStatus(), GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT);
    EXPECT_NE(logText().find("fbo " + std::to_string(target.framebuffer) + " status: incomplete_missing_attachment\n"),
              std::string::npos)
        << logText();

    // Same result with logging off, and nothing written.
    coreLog.created = false;
    size_t before = logText().size();
    EXPECT_EQ(target.checkStatus(), GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT);
    coreLog.created = true;
    EXPECT_EQ(logText().size(), before);

    target.attachColorTexture(target.colorTexture);
    EXPECT_EQ(target.checkStatus(), 0);
    target.destroy();
}

TEST_F(RenderTargetTest, DepthBufferUpToTheMaximumSize)
{
    GLint max = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max);
    ASSERT_GT(max, 0);
    const unsigned untouched = 4242;
    unsigned name = untouched;
    EXPECT_EQ(createDepthBuffer(max + 1, 1, &name), 1);
    EXPECT_EQ(createDepthBuffer(1, max + 1, &name), 1);
    EXPECT_EQ(createDepthBuffer(-1, 1, &name), 1) << "sizes compare unsigned";
    EXPECT_EQ(name, untouched);
    std::string line = "RenderBuffer error, max size is: " + std::to_string(max) + "\n";
    std::string log = logText();
    EXPECT_NE(log.find(line + line + line), std::string::npos) << log;

    for (auto size : {std::pair<int, int>{max, 1}, {1, max}, {max, max}}) {
        name = untouched;
        ASSERT_EQ(createDepthBuffer(size.first, size.second, &name), 0);
        EXPECT_NE(name, untouched);
        EXPECT_TRUE(glIsRenderbuffer(name));
        GLint bound = -1;
        glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
        EXPECT_EQ(bound, 0);
        glDeleteRenderbuffers(1, &name);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A depth buffer of the target's size attaches and keeps it complete.
    RenderTarget target;
    target.create(320, 180);
    ASSERT_EQ(createDepthBuffer(320, 180, &name), 0);
    binds.clear();
    target.attachDepthBuffer(name);
    EXPECT_EQ(binds, (std::vector<GLuint>{target.framebuffer, 0}));
    EXPECT_EQ(target.checkStatus(), 0);
    GLint type = 0;
    realBind(GL_FRAMEBUFFER, target.framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    realBind(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(type, GL_RENDERBUFFER);
    target.destroy();
    glDeleteRenderbuffers(1, &name);
}
