// The vexa dialect: windows in 1/4800 inch, 16-bit shading samples with gain
// trims from the inquiry, one identity tone table handed over by address,
// wider fields in the read blocks.
#ifndef SCANNER_DRIVER_VEXA_STEPS_H
#define SCANNER_DRIVER_VEXA_STEPS_H

#include <cstdint>

#include "driver_record.h"

namespace drv {

class VexaSteps final : public DialectSteps {
public:
    bool findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) override;
    bool identify(RunContext& run) override;
    bool prepareTables(RunContext&) override { return true; }
    StepResult shading(RunContext& run) override;
    bool sendGamma(RunContext& run) override;
    std::uint16_t reportedLines(const StartScanBlock& block) const override { return block.vexaLines; }
    std::uint16_t readImage(RunContext& run, std::uint32_t bytesPerLine, std::uint32_t lines, std::uint16_t requested,
                            std::uint16_t completed, const PieceSet& pieces) override;
};

// The gain factors of tables 1 to 4 for a target type from the inquiry's
// 20 trim bytes (offsets 70..89).
void vexaTrimFactors(const std::uint8_t (&trims)[20], std::uint16_t type, double (&factors)[4]);

// Shading lines the average works on: exactly 16 per column.
constexpr std::uint32_t kVexaShadingLines = 16;
// False for a geometry the calibration cannot use.
bool vexaShadingGeometryUsable(std::uint32_t lineBytes, std::uint32_t lineCount);

// Column means of the middle eight and their coefficients through the
// correction tables (t = 0, 1, 2 per pixel sample); lines are lineBytes apart
// from the start of lines.
void vexaCoefficients(const std::uint8_t* lines, std::uint32_t lineBytes, const std::uint16_t* const tables[3],
                      std::uint16_t* coefficients);

VexaSteps& vexaSteps();

}  // namespace drv

#endif
