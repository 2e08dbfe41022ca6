// Gradient noise and cell noise for procedural patterns. Pure functions of their arguments: the
// same point gives the same value on every thread and in every pass.
#pragma once

#include "core/math/tuple.h"

namespace SL {

using ovo::Color;
using ovo::Tuple;

// Perlin's improved gradient noise, roughly in [-1, 1] (not remapped to [0, 1]): exactly 0 at
// every integer lattice point and smooth across the lattice.
float noise(float x);
float noise(float x, float y);
float noise(float x, float y, float z);
float noise(float x, float y, float z, float w);

// One pseudo-random value per integer lattice cell, in [0, 1] in steps of 1/255. The colour
// and point forms give three such values per cell.
float cellnoisef(float x);
float cellnoisef(float x, float y);
float cellnoisef(float x, float y, float z);
float cellnoisef(Tuple& p);
float cellnoisef(float x, float y, float z, float w);
float cellnoisef(Tuple& p, float w);
Color cellnoisec(float x);
Color cellnoisec(float x, float y);
Color cellnoisec(Tuple& p);
Color cellnoisec(Tuple& p, float w);
Tuple cellnoisep(float x);
Tuple cellnoisep(float x, float y);
Tuple cellnoisep(Tuple& p);
Tuple cellnoisep(Tuple& p, float w);

}  // namespace SL
