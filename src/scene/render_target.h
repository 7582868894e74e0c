// Render targets: an off-screen RGBA8 colour texture in a framebuffer object, with an
// optional 24-bit depth renderbuffer.
//
// A RenderTarget is a plain record owned by value (the Core owns all of them). Every
// operation that acts on a target binds its framebuffer only when it is not bound yet
// and binds the window's framebuffer when done (0, or the off-screen frame that stands
// for the window in a supersampled offline run: setWindowFramebuffer).
// Users that draw into a target bind it themselves, set the viewport to width x height
// and bind 0 when done. Needs a current GL context with linked extensions.
#pragma once

struct RenderTarget {
    unsigned int framebuffer = 0;
    unsigned int colorTexture = 0;
    int width = 0;
    int height = 0;

    // Makes the framebuffer and its colour texture (left bound to GL_TEXTURE_2D) and
    // attaches it. Always 0: problems show up in checkStatus.
    int create(int width, int height);
    // Attaches a 2D texture as colour attachment 0; returns the framebuffer binding
    // found on entry.
    unsigned int attachColorTexture(unsigned int texture);
    // Attaches a renderbuffer as the depth attachment.
    void attachDepthBuffer(unsigned int renderbuffer);
    // Logs "fbo <name> status: ..."; 0 when complete (or an unknown status), else the
    // GL status code.
    int checkStatus();
    // Deletes the framebuffer object (the colour texture stays).
    void destroy();
};

// Binds `framebuffer` (0: the window's own) unless it is bound already.
void bindFramebuffer(unsigned int framebuffer);

// The framebuffer everything draws into as "the window": 0 unless an off-screen frame
// has been set to stand for it (offline pictures drawn larger, then reduced).
unsigned int windowFramebuffer();
void setWindowFramebuffer(unsigned int framebuffer);

// Makes a GL_DEPTH_COMPONENT24 renderbuffer of width x height into *name. 1 when either
// side exceeds GL_MAX_RENDERBUFFER_SIZE (logged, *name untouched), else 0.
int createDepthBuffer(int width, int height, unsigned int* name);
// Deletes the target's framebuffer and colour texture and clears the record; a target
// never created is left alone.
void releaseTarget(RenderTarget& target);
// Deletes the renderbuffer *name (when not 0) and sets it to 0.
void releaseDepthBuffer(unsigned int* name);
