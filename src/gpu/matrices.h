// The transform matrices, kept on the CPU: model-view, projection and texture, each
// with its own stack, edited with the calls a GL programmer knows (translate, rotate,
// ortho, push, pop...). Matrices are column-major, m[4 * column + row], as GL reads
// them. Shader programs read them through the effect runtime (its state-matrix
// semantics), plain draws through gpu/immediate.h; nothing reads them back from GL.
//
// Main thread only; nothing here allocates. A push beyond kStackDepth or a pop of the
// last matrix is a programming error: it is ignored (the top stays as it was).
#pragma once
#include <cstdint>

namespace gpu {

enum class MatrixMode { ModelView, Projection, Texture };
constexpr int kStackDepth = 32;

void matrixMode(MatrixMode mode);
MatrixMode currentMatrixMode();

// Each edits the top of the current mode's stack, as its GL namesake did.
void loadIdentity();
void loadMatrix(const float* m);
void multMatrix(const float* m);
void translate(float x, float y, float z);
void rotate(float degrees, float x, float y, float z);
void scale(float x, float y, float z);
void ortho(double left, double right, double bottom, double top, double zNear, double zFar);
void frustum(double left, double right, double bottom, double top, double zNear, double zFar);
void pushMatrix();
void popMatrix();

// The top of a stack.
const float* matrix(MatrixMode mode);
// projection x model-view.
void modelViewProjection(float* out);
// Counts every change of any stack: a reader that kept a copy compares it to know
// whether to read again.
uint32_t matricesSerial();

// Every stack back to one identity matrix (a new context, a test's start).
void resetMatrices();

}  // namespace gpu
