// The printer model: turns a printer description into a LutCorrectionBlock
// that takes scanner colours to printer RGB.
//
// Two ways in: BuildPrinterLut inverts the 512 measured chart patches by a
// search in CIELAB (called by the printer target analysis); the open
// analysis resamples a printer table that the host supplies. Both take the
// ScannerModel as the colours to reproduce: its tone curves become the
// block's input curves and its 17^3 CIELAB grid gives, node by node, the
// colour the printer is to produce.
//
// Working storage lives in g_engine.printerModel (PrinterModelState) and is
// rebuilt by every call.
#ifndef QEL_PRINTER_MODEL_H
#define QEL_PRINTER_MODEL_H

#include <cstdint>

#include "qel_cms.h"

namespace qel {

constexpr int kChartLevelCount = 8;    // levels per channel on the chart
constexpr int kPrinterPatchCount = 512;  // 8 x 8 x 8 chart patches
// RGB distance between neighbouring chart levels; slightly above 255 / 7 so
// that 255 / step stays below 7 and a channel of 255 interpolates in cell 6.
constexpr double kPrinterGridStep = 36.4286;
// Working-space step between printer table nodes (255 / 16).
constexpr double kPrinterTableStep = 15.9375;

// One measured patch: R, G, B (0..255) as floats.
using PrinterRgb = float[3];

enum class PrinterLutResult : std::int32_t { Cancelled = 0, Completed = 1 };

// measured: 512 patches in chart order p = 64 i + 8 j + k (i, j, k the red,
// green, blue level numbers 0..7). block: at least 15507 bytes, receives the
// LutCorrectionBlock (on cancellation the curves and the nodes written so
// far). model: the ScannerModel, non-null (the caller checks). Reports
// progress 20, 25, ..., 100 once per grid plane and polls Escape once per row
// of 17 nodes. Every block byte is defined whatever the inputs (NaN or
// infinities in model or patches give saturated bytes, never undefined
// conversions).
PrinterLutResult BuildPrinterLut(const PrinterRgb* measured, std::uint8_t* block, const float* model,
                                 ProgressRecord* progress, ProgressCallback callback);

// data: the host's printer table (17^3 nodes of printer R, G, B bytes, node
// (i0, i1, i2) at 3 (289 i0 + 17 i1 + i2)) in, the LutCorrectionBlock out;
// the table is copied before anything is written. Progress 2, 8, ..., 98,
// then 100; Escape polled once per row of 17 nodes. model non-null.
PrinterLutResult BuildLutFromPrinterTable(std::uint8_t* data, const float* model, ProgressRecord* progress,
                                          ProgressCallback callback);

// ---- Steps of the model, exposed for tests ---------------------------------

// PrinterXyz of every patch into the module state: the model's polynomial
// at the tone-curve values of the rounded measured levels, float sums in
// term order, negative (or NaN) results 0.
void ComputePrinterXyz(const PrinterRgb* measured, const float* model);

// Input curves, bytes 0..767 of a lookup block: round(255 sqrt(tone curve)).
void WritePrinterInputCurves(std::uint8_t* block, const float* model);

// PrinterLab of every patch against the paper white (patch 511), and the
// lightness scale (100 - L* of patch 0) / 78.6, into the module state.
void ComputePrinterLab();

// Index of the first chart patch with the smallest squared CIELAB distance
// to lab (a later patch must be strictly closer; none closer than 1e9 gives
// patch 0).
int NearestPrinterPatch(const float lab[3]);

// The printer's CIELAB for an RGB point (each channel 0..255), by trilinear
// interpolation of PrinterXyz in cells of kPrinterGridStep.
void PrinterModelLab(double r, double g, double b, float lab[3]);

// Pattern search from start (RGB, 0..255) towards the target; rgb receives
// the result (each channel within 0..255 but for a start point left as it
// was, which the caller limits).
void RefinePrinterRgb(const float target[3], const double start[3], double rgb[3]);

// The working-space code (0..255) of a working RGB channel (0..100).
int EncodeWorkingChannel(float channel);

// Trilinear interpolation of the module's copy of the printer table at the
// encoded point (e0, e1, e2), each 0..255.
void InterpolatePrinterTable(int e0, int e1, int e2, double out[3]);

}  // namespace qel

#endif
