// Elementary functions that give the same bits on every build: only IEEE
// addition, multiplication, division and square root (each correctly
// rounded wherever SSE2 does the arithmetic, as both builds ask for; no
// contraction into fused multiply-adds), in a fixed order. The C libraries
// differ in the last bits (glibc against mingw-w64's x87 code), and the
// host's figures must be the same files on Linux and Windows. Accurate to a
// few units in the last place over the arguments colour maths meets.
#ifndef AUCAL_COLOUR_MATHS_SAME_BITS_H
#define AUCAL_COLOUR_MATHS_SAME_BITS_H

namespace colour_maths::same_bits {

double cbrt(double x);
double exp(double x);
double sin(double x);  // |x| up to a few thousand radians
double cos(double x);
double atan2(double y, double x);
double hypot(double x, double y);  // no scaling: |x|, |y| below 1e150

}  // namespace colour_maths::same_bits

#endif
