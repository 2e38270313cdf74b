#include "dialect.h"

namespace sim {

const char* commandName(std::uint32_t code) {
    static const char* const names[kFunctionCodes] = {"inquiry",  "set_window", "read_shading", "send_shading",
                                                      "gamma",    "start_scan", "abort",        "geometry",
                                                      "read_image", "get_status"};
    return code < kFunctionCodes ? names[code] : "unknown";
}

namespace {

DialectSpec makeScan() {
    DialectSpec d{};
    d.id = Dialect::Scan;
    d.fixedWindowUnit = 0;
    d.setWindowByte16 = 3;
    d.a3Fields = false;
    d.needsAdapterHandle = false;
    d.bedWidth = 8.5;
    d.bedLength = 11.7;
    d.sampleBits = 12;
    d.defaultShadingLines = 30;
    d.defaultWhite = 3200.0;
    d.defaultModelDigits = "6000";
    d.geometry = {{6, 2}, {8, 2}, {10, 2}, {}};
    d.readShading.lineBytes = {8, 2};
    d.readShading.lines = {10, 2};
    d.readShading.totalBytes = {12, 4};
    d.readShading.pieces = {18, 2};
    d.readShading.records = {20, 4};
    d.sendShading.piecesHigh = {16, 2};
    d.sendShading.piecesLow = {18, 2};
    d.startScan.lines = {10, 2};
    d.readImage = {{6, 2}, {8, 2}, {12, 4}, {16, 2}, {18, 2}, {26, 2}, {28, 4}};
    return d;
}

DialectSpec makeVexa() {
    DialectSpec d = makeScan();
    d.id = Dialect::Vexa;
    d.fixedWindowUnit = 4800;
    d.setWindowByte16 = 2;
    d.needsAdapterHandle = true;
    d.sampleBits = 16;
    d.defaultShadingLines = 16;
    d.defaultWhite = 52000.0;
    d.defaultModelDigits = "1200";
    d.geometry = {{}, {8, 4}, {12, 4}, {6, 2}};
    d.readShading.lineBytes = {8, 4};
    d.readShading.lines = {12, 4};
    d.readShading.totalBytes = {16, 4};
    d.readShading.pieces = {};
    d.readShading.records = {24, 4};
    d.sendShading.piecesHigh = {};
    d.sendShading.piecesLow = {};
    d.startScan.lines = {12, 2};
    d.readImage = {{8, 4}, {12, 4}, {16, 4}, {20, 2}, {22, 2}, {30, 2}, {32, 4}};
    return d;
}

DialectSpec makePrescan() {
    DialectSpec d = makeScan();
    d.id = Dialect::Prescan;
    d.a3Fields = true;
    d.needsAdapterHandle = true;
    d.bedWidth = 11.7;
    d.bedLength = 16.6;
    return d;
}

}  // namespace

const DialectSpec& dialectSpec(Dialect dialect) {
    static const DialectSpec scan = makeScan();
    static const DialectSpec vexa = makeVexa();
    static const DialectSpec prescan = makePrescan();
    switch (dialect) {
        case Dialect::Vexa: return vexa;
        case Dialect::Prescan: return prescan;
        case Dialect::Scan: break;
    }
    return scan;
}

}  // namespace sim
