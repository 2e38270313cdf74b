// The classic dialect (scan and the A3 model): inquiry with model code and
// shading reference words, shading calibration with planar coefficient
// images and a stored green copy, tone tables inside the command block.
#ifndef SCANNER_DRIVER_CLASSIC_STEPS_H
#define SCANNER_DRIVER_CLASSIC_STEPS_H

#include "pieces.h"
#include "driver_record.h"
#include "platform/raii.hpp"
#include "shading_math.h"

namespace drv {

class ClassicSteps : public DialectSteps {
public:
    bool findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) override;
    bool identify(RunContext& run) override;
    bool prepareTables(RunContext& run) override;
    StepResult shading(RunContext& run) override;
    bool sendGamma(RunContext& run) override;
    std::uint16_t reportedLines(const StartScanBlock& block) const override { return block.classicLines; }
    std::uint16_t readImage(RunContext& run, std::uint32_t bytesPerLine, std::uint32_t lines, std::uint16_t requested,
                            std::uint16_t completed, const PieceSet& pieces) override;
    void endRun() override;

    // The shading transfer table of a colour (0 red, 1 green, 2 blue) of this run.
    const std::uint16_t* transferTable(int colour) const { return tables_[colour].as<std::uint16_t>(); }

private:
    StepResult calibrate(RunContext& run);
    StepResult sendShading(RunContext& run, bool calibrated);

    pf::LockedGlobal tables_[3];
    // Held from calibration to send shading.
    ShadingLineBlock lines_;
    pf::LockedGlobal high_;
    pf::LockedGlobal low_;
    pf::LockedGlobal outputRecords_;  // 2 x 16: high, then low
    std::uint32_t coefficientCount_ = 0;
};

// Reads a classic shading geometry: L bytes per line, M lines. False for one
// that cannot be averaged (fewer than 7 lines, an odd L, or no whole pixel).
bool classicShadingGeometryUsable(std::uint32_t lineBytes, std::uint32_t lineCount);

// Averages M shading lines (found through pieces) into 3 x Q coefficients
// through the transfer tables. False when working memory cannot be had.
bool averageShadingLines(const PieceSet& pieces, std::uint32_t lineBytes, std::uint32_t lineCount,
                         const std::uint16_t* const tables[3], std::uint16_t* coefficients);

// The steps of the scan driver.
ClassicSteps& scanSteps();

}  // namespace drv

#endif
