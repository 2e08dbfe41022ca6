// Warps from uniform numbers in [0, 1) to disks, triangles, spheres and cones, and the
// stratification routines of the samplers. Global free functions, like the other helpers the
// shading library and the plugins share.
#pragma once

#include "core/math/tuple.h"

// Shirley and Chiu's concentric map of the square onto the unit disk.
void ConcentricSampleDisk(float u1, float u2, float* dx, float* dy);
// Barycentric coordinates (u, v) uniform over a triangle.
void UniformSampleTriangle(float u1, float u2, float& u, float& v);
ovo::Point UniformSampleSphere(float u1, float u2);
// Uniform in the cone of half-angle acos(cosThetaMax) around z of the frame (x, y, z).
ovo::Vector UniformSampleCone(float u1, float u2, float cosThetaMax, const ovo::Vector& x,
                              const ovo::Vector& y, const ovo::Vector& z);
// Cosine-distributed in the cone whose half-angle has sine sinThetaMax, around z of the frame;
// sinThetaMax = 1 gives cosine-weighted hemisphere sampling.
ovo::Vector CosineSampleCone(float u1, float u2, float sinThetaMax, const ovo::Vector& x,
                             const ovo::Vector& y, const ovo::Vector& z);

// n values (i + d)/n, d jittered or 0.5.
void StratifiedSample1D(float* samples, int n, bool jitter);
// nx·ny pairs in row order, x fastest; with jitter dx is drawn before dy for every cell.
void StratifiedSample2D(float* samples, int nx, int ny, bool jitter);
// Swaps every sample (dims consecutive floats) with a randomly chosen one.
void Shuffle(float* samples, int count, int dims);
