// Evaluating a ScannerModel: its tone curves, its polynomial, its CIELAB grid
// between the nodes, and the printer aim that scales the model's colours
// into a printer's lightness range. One definition for the engine's printer
// model and for hosts that show or fit against the model.
#ifndef QEL_SCANNER_MODEL_EVAL_H
#define QEL_SCANNER_MODEL_EVAL_H

namespace qel {

// Tone curve `channel` at a level given as a float, rounded to the nearest
// level (levels outside 0..255, or NaN, take the nearest end of the curve).
float ModelToneValue(const float* model, int channel, float level);

// The polynomial at tone-curve values r, g, b: X, Y, Z on the reference scale,
// each a float sum over the 9 terms in term order.
void ModelPolynomialXyz(const float* model, float r, float g, float b, float xyz[3]);

// The polynomial at scanner levels: the levels (rounded) looked up in the
// tone curves first.
void ModelLevelsXyz(const float* model, const float levels[3], float xyz[3]);

// Where a scanner level falls on the grid's axis, 0..1 (node k at k / 16):
// the square root of the tone curve, placed between the node levels at which
// the grid was computed (node k at level round(255 k / 16), linearised as
// (level / 255)^2).
double ModelGridCoordinate(const float* model, int channel, int level);

// The grid's CIELAB (against the target white) at scanner levels,
// interpolated trilinearly between the nodes.
void ModelGridLab(const float* model, const int levels[3], double lab[3]);

// The printer aim: lab (against the target white) scaled into the printer's
// lightness range with scale s = (100 - L* of the printer's black) /
// kPrinterLightnessRange, chroma scaled alike.
void CompressTargetLab(float s, float lab[3]);

}  // namespace qel

#endif
