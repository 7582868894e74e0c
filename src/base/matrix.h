// Small matrix helpers over 16-float arrays, specified element by element (m[k]).
// perspectiveMatrix and lookAtMatrix produce m[4*row + column] for column vectors:
// transpose them before loading them into GL. Angles are in degrees.
#pragma once

extern const double PI;  // 3.141592653589793, shared by everything that converts degrees

void perspectiveMatrix(double fovDegrees, double aspect, double zNear, double zFar, float* m);
void lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centerX, double centerY,
                  double centerZ, double upX, double upY, double upZ, float* m);
void rotationMatrix(float angleDegrees, float x, float y, float z, float* m);
// out[4i+j] = sum_k a[4i+k] * b[4k+j]; out may alias a or b.
void multiplyMatrix(const float* a, const float* b, float* out);
void transposeMatrix(float* m);
void copyMatrix(const float* a, float* out);
// out[i] = sum_k v[k] * m[4k+i]; out must not alias v.
void transformVector(const float* m, const float* v, float* out);
