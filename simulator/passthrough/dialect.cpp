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

std::uint32_t blockBytes(Dialect dialect, std::uint32_t code) {
    const bool vexa = dialect == Dialect::Vexa;
    switch (code) {
        case kInquiry: return 128;
        case kSetWindow: return 28;
        case kReadShading: return vexa ? 28 : 24;
        case kSendShading: return 28;
        case kSendGamma: return vexa ? 40 : 16400;
        case kStartScan:
        case kAbort:
        case kGetStatus: return 16;
        case kShadingGeometry: return vexa ? 16 : 12;
        case kReadImage: return vexa ? 36 : 32;
        default: return 0;
    }
}

std::vector<NamedField> blockFields(const DialectSpec& spec, std::uint32_t code) {
    std::vector<NamedField> f{{"status", {kStatusOffset, 2}, FieldKind::Reply}};
    const FieldKind reply = FieldKind::Reply;
    auto add = [&](const char* name, Field field, FieldKind kind = FieldKind::Value) {
        if (field.present()) f.push_back({name, field, kind});
    };
    const bool vexa = spec.id == Dialect::Vexa;
    switch (code) {
        case kInquiry: {
            const InquiryLayout& l = spec.inquiry;
            add("model_digits", l.modelDigits, reply);
            if (vexa) {
                add("gain_trims", l.gainTrims, reply);
            } else {
                for (const Field& r : l.shadingReference) add("shading_reference", r, reply);
            }
            add("adapter_flag", l.adapterFlag, reply);
            break;
        }
        case kSetWindow: {
            const SetWindowLayout& l = spec.setWindow;
            add("x_start", l.xStart);
            add("y_start", l.yStart);
            add("x_end", l.xEnd);
            add("y_end", l.yEnd);
            add("source", l.source);
            add("byte15", l.constant15);
            add("byte16", l.constant16);
            add("byte17", l.constant17);
            add("resolution", l.resolution);
            add("calibrate", l.calibrate, reply);
            add("stored_shading", l.storedShading, reply);
            add("gamma_request", l.gammaRequest, reply);
            if (spec.a3Fields) {
                add("byte24", l.extra24);
                add("byte26", l.extra26);
            }
            break;
        }
        case kShadingGeometry:
            add("request", spec.geometry.request);
            add("line_bytes", spec.geometry.lineBytes, reply);
            add("lines", spec.geometry.lines, reply);
            add("flag", spec.geometry.flag, reply);
            break;
        case kReadShading: {
            const ReadShadingLayout& l = spec.readShading;
            add("resolution", l.resolution);
            add("line_bytes", l.lineBytes);
            add("lines", l.lines);
            add("total_bytes", l.totalBytes);
            add("pieces", l.pieces);
            add("records", l.records, FieldKind::Records);
            break;
        }
        case kSendShading: {
            const SendShadingLayout& l = spec.sendShading;
            add("resolution", l.resolution);
            add("count", l.count);
            add("zero12", l.zero12);
            add("zero14", l.zero14);
            add("pieces_high", l.piecesHigh);
            add("pieces_low", l.piecesLow);
            add("high", l.high, vexa ? FieldKind::Piece : FieldKind::Records);
            add("low", l.low, vexa ? FieldKind::Piece : FieldKind::Records);
            break;
        }
        case kSendGamma:
            if (vexa) {
                add("byte7", {7, 1});
                for (std::uint32_t t = 0; t < 3; ++t) {
                    add("table_bytes", {16 + 8 * t, 4});
                    add("table", {20 + 8 * t, 4}, FieldKind::CallerMemory);
                }
            } else {
                add("byte6", {6, 1});
                add("byte7", {7, 1});
                for (std::uint32_t slot = 0; slot < 4; ++slot) {
                    add("entries", {8 + 4098 * slot, 2});
                    add("table", {10 + 4098 * slot, 4096});
                }
            }
            break;
        case kStartScan:
            add("request", spec.startScan.request);
            add("line_bytes", spec.startScan.lineBytes, reply);
            add("lines", spec.startScan.lines, reply);
            break;
        case kReadImage: {
            const ReadImageLayout& l = spec.readImage;
            add("line_bytes", l.lineBytes);
            add("lines", l.lines);
            add("bytes", l.bytes);
            add("requested", l.requested);
            add("done", l.done);
            add("pieces", l.pieces);
            add("records", l.records, FieldKind::Records);
            break;
        }
        case kGetStatus: add("ready", spec.getStatus.ready, reply); break;
        default: break;
    }
    return f;
}

}  // namespace sim
