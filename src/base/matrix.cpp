#include "base/matrix.h"

#include <cmath>

namespace {

void normalise(double* v)
{
    double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len != 0.0) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

void cross(const double* a, const double* b, double* out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

void perspectiveMatrix(double fovDegrees, double aspect, double zNear, double zFar, float* m)
{
    double a = fovDegrees / 2.0 * PI / 180.0;
    double f = std::cos(a) / std::sin(a);
    for (int k = 0; k < 16; ++k) {
        m[k] = 0.0f;
    }
    m[0] = float(f / aspect);
    m[5] = float(f);
    m[10] = float(-(zFar + zNear) / (zFar - zNear));
    m[11] = float(-2.0 * zFar * zNear / (zFar - zNear));
    m[14] = -1.0f;
}

void lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centerX, double centerY,
                  double centerZ, double upX, double upY, double upZ, float* m)
{
    double eye[3] = {eyeX, eyeY, eyeZ};
    double up[3] = {upX, upY, upZ};
    double z[3] = {eyeX - centerX, eyeY - centerY, eyeZ - centerZ};
    normalise(z);
    double x[3];
    cross(up, z, x);
    normalise(x);
    double y[3];
    cross(z, x, y);
    normalise(y);
    const double* rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r) {
        m[4 * r + 0] = float(rows[r][0]);
        m[4 * r + 1] = float(rows[r][1]);
        m[4 * r + 2] = float(rows[r][2]);
        m[4 * r + 3] = float(-dot(eye, rows[r]));
    }
    m[12] = 0.0f;
    m[13] = 0.0f;
    m[14] = 0.0f;
    m[15] = 1.0f;
}

void rotationMatrix(float angleDegrees, float x, float y, float z, float* m)
{
    float len = std::sqrt(x * x + y * y + z * z);
    if (len != 0.0f) {
        x /= len;
        y /= len;
        z /= len;
    }
    double rad = angleDegrees * PI / 180.0;
    float c = float(std::cos(rad));
    float s = float(std::sin(rad));
    for (int k = 0; k < 16; ++k) {
        m[k] = 0.0f;
    }
    m[0] = x * x + c * (1 - x * x);
    m[1] = s * z + (1 - c) * x * y;
    m[2] = (1 - c) * x * z - s * y;
    m[4] = (1 - c) * x * y - s * z;
    m[5] = y * y + c * (1 - y * y);
    m[6] = s * x + (1 - c) * y * z;
    m[8] = s * y + (1 - c) * x * z;
    m[9] = (1 - c) * y * z - s * x;
    m[10] = z * z + c * (1 - z * z);
    m[15] = 1.0f;
}

void multiplyMatrix(const float* a, const float* b, float* out)
{
    float t[16];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[4 * i + k] * b[4 * k + j];
            }
            t[4 * i + j] = sum;
        }
    }
    copyMatrix(t, out);
}

void transposeMatrix(float* m)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            float t = m[4 * i + j];
            m[4 * i + j] = m[4 * j + i];
            m[4 * j + i] = t;
        }
    }
}

void copyMatrix(const float* a, float* out)
{
    for (int k = 0; k < 16; ++k) {
        out[k] = a[k];
    }
}

void transformVector(const float* m, const float* v, float* out)
{
    for (int i = 0; i < 4; ++i) {
        out[i] = v[0] * m[i] + v[1] * m[4 + i] + v[2] * m[8 + i] + v[3] * m[12 + i];
    }
}
