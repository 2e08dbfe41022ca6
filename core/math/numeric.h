// Closed-form real roots of polynomials of degree 2 to 4 (Schwarze's method). c holds the
// coefficients in ascending powers; the real roots go to s, unsorted, and their number is
// returned. A repeated root is reported once.
#pragma once

int SolveQuadric(double c[3], double s[2]);
int SolveCubic(double c[4], double s[3]);
int SolveQuartic(double c[5], double s[4]);
