// Numeric routines shared by the scanner, printer and monitor
// characterisations. Stateless but for MonitorMatrixFromPhosphors, which reads
// the phosphors of the module state. Values are 32-bit floats in the callers'
// arrays; arithmetic inside is double; XYZ on the Y = 100 scale.
#ifndef QEL_COLOUR_MATH_H
#define QEL_COLOUR_MATH_H

namespace qel {

// Least-squares normal equations for three right-hand sides at once, by
// Gaussian elimination with scaled partial pivoting. n unknowns (1..10);
// a: n x n row-major, overwritten; b: 3 rows of n, overwritten; x: 3 rows of n
// receive the solutions. Returns 1 solved, 0 singular.
int SolveNormalEquations(int n, float* a, float* b, float* x);

// 3x3 row-major matrix inverted in place by cofactors.
void InvertMatrix3(float m[9]);

// XYZ (Y = 100 scale) to linear monitor RGB (0..1) for the current phosphors.
void MonitorMatrixFromPhosphors(float out[9]);

// The fixed gamut-test RGB, on the scale of X, Y, Z.
void XyzToWorkingRgb(double X, double Y, double Z, float rgb[3]);

// CIELAB to XYZ against the D65 white of the 2 degree observer (observer == 2)
// or the 10 degree one (any other value).
void LabToXyzD65(int observer, double L, double a, double b, float xyz[3]);

// XYZ to CIELAB against the white (Xn, Yn, Zn).
void XyzToLab(double Xn, double Yn, double Zn, double X, double Y, double Z, float lab[3]);

// xyY to X and Z.
void XyYToXyz(double x, double y, double Y, double* X, double* Z);

// The drive (0..1) that shows luminance level / 255 on a monitor whose
// channel shows half luminance at drive level mid (clamped to 5..250).
double GammaCurveValue(int level, int mid);

}  // namespace qel

#endif
