#include "gpu/matrices.h"

#include "base/matrix.h"

#include <cstring>

namespace gpu {
namespace {

struct Stack {
    float m[kStackDepth][16];
    int top = 0;
};

Stack stacks[3];
MatrixMode mode = MatrixMode::ModelView;
uint32_t serial = 1;
const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Stack& current() { return stacks[int(mode)]; }
float* top() { return current().m[current().top]; }

void changed() { ++serial; }

// top := top x m (column-major).
void multiplyTop(const float* m)
{
    float out[16];
    multiplyMatrix(m, top(), out);  // row-major a x b on column-major data is b x a
    std::memcpy(top(), out, sizeof out);
    changed();
}

struct Init {
    Init() { resetMatrices(); }
} init;

}  // namespace

void matrixMode(MatrixMode m) { mode = m; }

MatrixMode currentMatrixMode() { return mode; }

void loadIdentity() { loadMatrix(identity); }

void loadMatrix(const float* m)
{
    std::memcpy(top(), m, 16 * sizeof(float));
    changed();
}

void multMatrix(const float* m) { multiplyTop(m); }

// Multiplies the top by identity with three entries replaced (a translation or a scale).
void multiplyByIdentityWith(int a, int b, int c, float x, float y, float z)
{
    float m[16];
    std::memcpy(m, identity, sizeof m);
    m[a] = x;
    m[b] = y;
    m[c] = z;
    multiplyTop(m);
}

void translate(float x, float y, float z) { multiplyByIdentityWith(12, 13, 14, x, y, z); }

void rotate(float degrees, float x, float y, float z)
{
    float m[16];
    rotationMatrix(degrees, x, y, z, m);
    multiplyTop(m);
}

void scale(float x, float y, float z) { multiplyByIdentityWith(0, 5, 10, x, y, z); }

void ortho(double l, double r, double b, double t, double n, double f)
{
    float m[16] = {};
    m[0] = float(2.0 / (r - l));
    m[5] = float(2.0 / (t - b));
    m[10] = float(-2.0 / (f - n));
    m[12] = float(-(r + l) / (r - l));
    m[13] = float(-(t + b) / (t - b));
    m[14] = float(-(f + n) / (f - n));
    m[15] = 1.0f;
    multiplyTop(m);
}

void frustum(double l, double r, double b, double t, double n, double f)
{
    float m[16] = {};
    m[0] = float(2.0 * n / (r - l));
    m[5] = float(2.0 * n / (t - b));
    m[8] = float((r + l) / (r - l));
    m[9] = float((t + b) / (t - b));
    m[10] = float(-(f + n) / (f - n));
    m[11] = -1.0f;
    m[14] = float(-2.0 * f * n / (f - n));
    multiplyTop(m);
}

void pushMatrix()
{
    Stack& s = current();
    if (s.top + 1 < kStackDepth) {
        std::memcpy(s.m[s.top + 1], s.m[s.top], 16 * sizeof(float));
        ++s.top;
    }
}

void popMatrix()
{
    Stack& s = current();
    if (s.top > 0) {
        --s.top;
        changed();
    }
}

const float* matrix(MatrixMode which)
{
    const Stack& s = stacks[int(which)];
    return s.m[s.top];
}

void modelViewProjection(float* out)
{
    multiplyMatrix(matrix(MatrixMode::ModelView), matrix(MatrixMode::Projection), out);
}

uint32_t matricesSerial() { return serial; }

void resetMatrices()
{
    for (Stack& s : stacks) {
        s.top = 0;
        std::memcpy(s.m[0], identity, sizeof identity);
    }
    mode = MatrixMode::ModelView;
    ++serial;
}

}  // namespace gpu
