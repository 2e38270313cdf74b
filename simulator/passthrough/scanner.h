// The simulated scanner: the state behind the three pass-through procedures
// and one handler per function code. It trusts nothing in a command block:
// every request field and constant is checked against what this scanner
// expects, every piece it writes into must have been handed out by BUF_ADDR,
// and a refused request changes no state and writes nothing but the status.
#ifndef SIMULATOR_PASSTHROUGH_SCANNER_H
#define SIMULATOR_PASSTHROUGH_SCANNER_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "call_log.h"
#include "dialect.h"
#include "document.h"
#include "pieces.h"
#include "scenario.h"
#include "sensor.h"

namespace sim {

class Scanner {
public:
    Scanner(Scenario scenario, std::string scenarioPath);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    std::uint32_t addressCheck();
    std::uint32_t describeBuffer(void* block, std::uint32_t size, void* records, std::uint32_t unit);
    std::uint32_t command(void* block, std::uint32_t adapter, std::uint32_t code);

    const Scenario& scenario() const { return scenario_; }

private:
    struct Window {
        bool set = false;
        std::uint32_t xStart = 0, yStart = 0, xEnd = 0, yEnd = 0;
        std::uint32_t source = 0, resolution = 0;
    };
    struct Scan {
        bool active = false;       // start scan accepted, lines still to read
        bool readySeen = false;    // get status reported ready since start scan
        std::uint32_t bytesPerLine = 0, lines = 0, pixels = 0, delivered = 0;
    };

    std::uint16_t inquiry(std::uint8_t* b, LogLine& log);
    std::uint16_t setWindow(std::uint8_t* b, LogLine& log);
    std::uint16_t geometry(std::uint8_t* b, LogLine& log);
    std::uint16_t readShading(std::uint8_t* b, LogLine& log);
    std::uint16_t sendShading(std::uint8_t* b, LogLine& log);
    std::uint16_t sendGamma(std::uint8_t* b, LogLine& log);
    std::uint16_t startScan(std::uint8_t* b, LogLine& log);
    std::uint16_t abortScan(LogLine& log);
    std::uint16_t readImage(std::uint8_t* b, LogLine& log);
    std::uint16_t getStatus(std::uint8_t* b, LogLine& log);

    std::uint32_t windowUnit() const;
    std::uint32_t windowPixels() const;
    std::uint32_t windowLines() const;
    std::uint32_t shadingPixels() const;
    std::uint32_t shadingLineBytes() const;
    std::uint32_t shadingLines() const;
    // W of the colour (12-bit) or its trim factor for the current source (vexa).
    double reference(int colour) const;
    const PlacedDocument& placedDocument();
    void renderLine(std::uint32_t line, std::uint8_t* out);

    Scenario scenario_;
    std::string scenarioPath_;
    const DialectSpec& spec_;
    CallLog log_;
    Sensor sensor_;
    PieceRegistry pieces_;
    Correction correction_;
    Window window_;
    Scan scan_;
    bool adapterChecked_ = false;
    std::uint32_t notReady_ = 0;
    std::uint32_t bufferCalls_ = 0;
    std::array<std::uint32_t, kFunctionCodes + 1> calls_{};
    // The document, rendered or read when first needed.
    Raster raster_;
    bool rasterTried_ = false;
    double rasterDpi_ = 0;
    PlacedDocument placed_;
};

}  // namespace sim

#endif
