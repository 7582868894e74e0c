// A window wider than 16:9: the band is pillarboxed (full height, centred horizontally)
// and the copies read only the band.
#include "gl_fixture.h"
#include "app/screen.h"
#include "core/core.h"
#include "effects/effect.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "platform/platform.h"
#include "resources/loader.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int windowWidth = 400;
constexpr int windowHeight = 150;  // 16:9 of the height is 266 x 150, at x = 67

class Fill : public Effect {
public:
    explicit Fill(int slot) : slot(slot) {}
    int init() override { return 0; }
    void render(float) override
    {
        gpu::matrixMode(gpu::MatrixMode::Projection);
        gpu::loadIdentity();
        gpu::matrixMode(gpu::MatrixMode::ModelView);
        gpu::loadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        gpu::color(slot == 0 ? 0.4f : 0.0f, slot == 1 ? 0.4f : 0.0f, 0.2f);
        gpu::rect(-1, -1, 1, 1);
    }
    int slot;
};

Effect* makeFill(int slot) { return new Fill(slot); }

unsigned char redAt(int x, int y)
{
    unsigned char rgba[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return rgba[0];
}

}  // namespace

TEST(Pillarbox, WideWindowKeepsTheBandInside)
{
    openTestWindow("pillarbox test", windowWidth, windowHeight);
    ASSERT_FALSE(HasFatalFailure());
    screen.width = windowWidth;
    screen.height = windowHeight;
    loader.open("data.zip");
    ASSERT_TRUE(loader.opened);
    core.effectMaker = makeFill;
    core.spectrum = false;
    ASSERT_EQ(core.init(), 0);

    EXPECT_EQ(screen.viewportWidth, 266);
    EXPECT_EQ(screen.viewportHeight, 150);
    EXPECT_EQ(core.viewportX, 67);
    EXPECT_EQ(core.viewportY, 0);
    EXPECT_EQ(core.fadeOutCopy.width, 266);

    core.postprocess = false;
    core.setClock(18.5f);
    core.renderFrame();
    EXPECT_EQ(redAt(10, 75), 0) << "left bar";
    EXPECT_EQ(redAt(windowWidth - 10, 75), 0) << "right bar";

    // The source copy is the first part's colour over the whole band, edges included.
    std::vector<unsigned char> copy(size_t(266) * 150 * 4);
    glBindTexture(GL_TEXTURE_2D, core.fadeOutCopy.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, copy.data());
    for (size_t x : {size_t(0), size_t(133), size_t(265)}) {
        EXPECT_NEAR(copy[(75 * 266 + x) * 4], 102, 2) << "column " << x;
    }
    core.release();
    platform::destroyWindow();
}
