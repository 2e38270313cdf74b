// The simulated scanner's state, the dispatch of function codes, and the
// handlers of identity, window and image: inquiry, set window, start scan,
// get status, read image, abort. Shading and tone tables: scanner_shading.cpp.
#include "scanner.h"

#include <algorithm>
#include <utility>

#include "request_fields.h"

namespace sim {

namespace {

// Base resolution that the model digits stand for.
std::uint32_t baseResolutionOf(const std::string& digits) {
    if (digits == "1200" || digits == "6060") return 1200;
    if (digits == "8000") return 800;
    return 600;
}

}  // namespace

Scanner::Scanner(Scenario scenario, std::string scenarioPath)
    : scenario_(std::move(scenario)),
      scenarioPath_(std::move(scenarioPath)),
      spec_(dialectSpec(scenario_.dialect)),
      sensor_(scenario_, spec_.sampleBits) {
    log_.open(scenario_.logPath);
    log_.write(LogLine("LOAD").add("dialect", dialectName(scenario_.dialect))
                   .add("scenario", scenarioPath_.empty() ? std::string("-") : scenarioPath_));
    for (const std::string& problem : scenario_.problems) log_.write(LogLine("SCENARIO").add("error", problem));
}

Scanner::~Scanner() { log_.write(LogLine("UNLOAD")); }

std::uint32_t Scanner::addressCheck() {
    adapterChecked_ = true;
    log_.write(LogLine("ADDR_CHK").add("handle", scenario_.adapterHandle));
    return scenario_.adapterHandle;
}

std::uint32_t Scanner::describeBuffer(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
    ++bufferCalls_;
    LogLine line("BUF_ADDR");
    line.add("call", bufferCalls_).add("size", size).add("unit", unit);
    Description d = planPieces(size, unit, scenario_);
    std::uint32_t blockAddress = 0;
    std::uint32_t recordsAddress = 0;
    const bool addressable = block != nullptr && records != nullptr && pointerTo32(block, &blockAddress) &&
                             pointerTo32(records, &recordsAddress) &&
                             std::uint64_t{blockAddress} + size <= 0x100000000ull;
    if (scenario_.bufAddrFail.matches(bufferCalls_)) {
        d.pieces = 0;
        line.add("injected", 1);
    } else if (!addressable) {
        d.pieces = 0;
        line.add("error", "address");
    }
    d.block = blockAddress;
    d.records = recordsAddress;
    if (d.pieces > 0) {
        std::uint8_t* array = static_cast<std::uint8_t*>(records);
        for (std::uint32_t k = 0; k < d.pieces; ++k) {
            std::uint8_t* record = array + std::uint64_t{k} * kPieceRecordBytes;
            putU32(record, kPieceLengthOffset, d.pieceLength);
            putU16(record, kPieceUnitsOffset, 0);
            putU32(record, kPieceAddressOffset, blockAddress + k * d.pieceLength);
        }
        pieces_.add(d);
    } else {
        // Records that failed to describe a block describe nothing.
        pieces_.remove(recordsAddress);
    }
    line.add("pieces", d.pieces).add("piece_bytes", d.pieces > 0 ? d.pieceLength : 0);
    log_.write(line);
    return d.pieces;
}

std::uint32_t Scanner::command(void* block, std::uint32_t adapter, std::uint32_t code) {
    const std::uint32_t index = std::min<std::uint32_t>(code, kFunctionCodes);
    const std::uint32_t call = ++calls_[index];
    LogLine head("SPI_CALL");
    head.add("code", code).add("cmd", commandName(code)).add("call", call).add("adapter", adapter);
    if (block == nullptr) {
        log_.write(head.add("status", status(SimStatus::BadAddress)).add("error", "null_block"));
        return status(SimStatus::BadAddress);
    }
    std::uint8_t* b = static_cast<std::uint8_t*>(block);
    for (const InjectedError& e : scenario_.errors) {
        if (e.code == code && e.calls.matches(call)) {
            putU16(b, kStatusOffset, e.status);
            log_.write(head.add("status", e.status).add("injected", 1));
            return e.status;
        }
    }
    LogLine fields("");
    std::uint16_t result = 0;
    const std::uint32_t expectedAdapter = adapterChecked_ ? scenario_.adapterHandle : 0;
    if (spec_.needsAdapterHandle && !adapterChecked_) {
        // These models are reached only through the handle ADDR_CHK gives.
        result = refuse(fields, SimStatus::WrongAdapter, "no_addr_chk");
    } else if (spec_.needsAdapterHandle && scenario_.adapterHandle == 0) {
        result = refuse(fields, SimStatus::WrongAdapter, "no_handle");
    } else if (adapter != expectedAdapter) {
        result = refuse(fields, SimStatus::WrongAdapter, "adapter");
    } else {
        switch (code) {
            case kInquiry: result = inquiry(b, fields); break;
            case kSetWindow: result = setWindow(b, fields); break;
            case kReadShading: result = readShading(b, fields); break;
            case kSendShading: result = sendShading(b, fields); break;
            case kSendGamma: result = sendGamma(b, fields); break;
            case kStartScan: result = startScan(b, fields); break;
            case kAbort: result = abortScan(fields); break;
            case kShadingGeometry: result = geometry(b, fields); break;
            case kReadImage: result = readImage(b, fields); break;
            case kGetStatus: result = getStatus(b, fields); break;
            default: result = refuse(fields, SimStatus::UnknownCode, "code"); break;
        }
    }
    putU16(b, kStatusOffset, result);
    head.add("status", result);
    if (result == 0) {
        std::uint32_t overridden = 0;
        for (const ReplyOverride& r : scenario_.replies) {
            if (r.code == code && r.appliesTo(call)) {
                putField(b, r.offset, r.size, r.value);
                ++overridden;
            }
        }
        if (overridden > 0) fields.add("overridden", overridden);
    }
    log_.write(LogLine((head.text() + fields.text()).c_str()));
    return result;
}

std::uint16_t Scanner::inquiry(std::uint8_t* b, LogLine& log) {
    const InquiryLayout& f = spec_.inquiry;
    for (std::uint32_t i = 0; i < f.modelDigits.size; ++i) {
        const char c = i < scenario_.modelDigits.size() ? scenario_.modelDigits[i] : '\0';
        b[f.modelDigits.offset + i] = static_cast<std::uint8_t>(c);
    }
    if (scenario_.dialect == Dialect::Vexa) {
        for (std::uint32_t i = 0; i < f.gainTrims.size; ++i) b[f.gainTrims.offset + i] = scenario_.gainTrims[i];
    } else {
        for (int c = 0; c < 3; ++c) put(b, f.shadingReference[c], scenario_.shadingReference[c]);
    }
    put(b, f.adapterFlag, scenario_.adapter ? 1 : 0);
    log.add("model", scenario_.modelDigits.empty() ? std::string("-") : scenario_.modelDigits)
        .add("adapter_flag", scenario_.adapter ? 1 : 0);
    return 0;
}

std::uint32_t Scanner::windowUnit() const {
    if (spec_.fixedWindowUnit != 0) return spec_.fixedWindowUnit;
    return scenario_.baseResolution.value_or(baseResolutionOf(scenario_.modelDigits));
}

std::uint32_t Scanner::windowPixels() const {
    return static_cast<std::uint32_t>(std::uint64_t{window_.xEnd - window_.xStart} * window_.resolution /
                                      windowUnit());
}

std::uint32_t Scanner::windowLines() const {
    return static_cast<std::uint32_t>(std::uint64_t{window_.yEnd - window_.yStart} * window_.resolution /
                                      windowUnit());
}

std::uint16_t Scanner::setWindow(std::uint8_t* b, LogLine& log) {
    const SetWindowLayout& f = spec_.setWindow;
    Window w;
    w.xStart = get(b, f.xStart);
    w.yStart = get(b, f.yStart);
    w.xEnd = get(b, f.xEnd);
    w.yEnd = get(b, f.yEnd);
    w.source = get(b, f.source);
    w.resolution = get(b, f.resolution);
    log.add("x_start", w.xStart).add("y_start", w.yStart).add("x_end", w.xEnd).add("y_end", w.yEnd)
        .add("source", w.source).add("resolution", w.resolution);
    const bool constantsOk = get(b, f.constant15) == 0 && get(b, f.constant16) == spec_.setWindowByte16 &&
                             get(b, f.constant17) == 1 &&
                             (!spec_.a3Fields || (get(b, f.extra24) == 20 && get(b, f.extra26) == 0));
    if (!constantsOk) return refuse(log, SimStatus::BadField, "constant");
    if (w.source > 2) return refuse(log, SimStatus::BadField, "source");
    if (w.source >= 1 && !scenario_.adapter) return refuse(log, SimStatus::BadField, "no_adapter");
    if (w.resolution == 0 || w.resolution > 4800) return refuse(log, SimStatus::BadField, "resolution");
    const double unit = windowUnit();
    if (w.xStart >= w.xEnd || w.yStart >= w.yEnd || w.xEnd / unit > spec_.bedWidth ||
        w.yEnd / unit > spec_.bedLength) {
        return refuse(log, SimStatus::BadField, "window");
    }
    const Window previous = window_;
    window_ = w;
    if (windowPixels() == 0) {
        window_ = previous;
        return refuse(log, SimStatus::BadField, "window");
    }
    window_.set = true;
    scan_ = Scan{};
    put(b, f.calibrate, scenario_.calibrate);
    if (scenario_.dialect == Dialect::Vexa) {
        put(b, f.storedShading, 0);
        put(b, f.gammaRequest, scenario_.gammaRequest);
        log.add("calibrate", scenario_.calibrate).add("stored_shading", 0).add("gamma_request", scenario_.gammaRequest);
    } else {
        put(b, f.storedShading, scenario_.storedShading);
        log.add("calibrate", scenario_.calibrate).add("stored_shading", scenario_.storedShading).add("gamma_request", 0);
    }
    return 0;
}

std::uint16_t Scanner::startScan(std::uint8_t* b, LogLine& log) {
    const StartScanLayout& f = spec_.startScan;
    if (!window_.set) return refuse(log, SimStatus::Sequence, "no_window");
    if (get(b, f.request) != 0) return refuse(log, SimStatus::BadField, "request");
    const std::uint32_t pixels = windowPixels();
    const std::uint32_t lines = scenario_.lines.value_or(windowLines());
    const std::uint64_t bytes = scenario_.bytesPerLine.value_or(3ull * pixels + scenario_.linePad);
    if (!fits(f.lineBytes, bytes) || !fits(f.lines, lines)) return refuse(log, SimStatus::BadField, "window");
    put(b, f.lineBytes, static_cast<std::uint32_t>(bytes));
    put(b, f.lines, lines);
    scan_ = Scan{};
    scan_.active = lines > 0 && bytes > 0;
    scan_.bytesPerLine = static_cast<std::uint32_t>(bytes);
    scan_.lines = lines;
    scan_.pixels = scenario_.bytesPerLine ? static_cast<std::uint32_t>(bytes / 3) : pixels;
    notReady_ = scenario_.notReadyPolls;
    log.add("bytes_per_line", bytes).add("lines", lines);
    return 0;
}

std::uint16_t Scanner::abortScan(LogLine&) {
    scan_.active = false;
    notReady_ = scenario_.notReadyPollsAfterAbort;
    return 0;
}

std::uint16_t Scanner::getStatus(std::uint8_t* b, LogLine& log) {
    const bool ready = notReady_ == 0;
    if (!ready && notReady_ != kNever) --notReady_;
    if (ready) scan_.readySeen = true;
    put(b, spec_.getStatus.ready, ready ? 1 : 0);
    log.add("ready", ready ? 1 : 0);
    return 0;
}

std::uint16_t Scanner::readImage(std::uint8_t* b, LogLine& log) {
    const ReadImageLayout& f = spec_.readImage;
    const std::uint32_t lineBytes = get(b, f.lineBytes);
    const std::uint32_t n = get(b, f.lines);
    const std::uint32_t bytes = get(b, f.bytes);
    const std::uint32_t requested = get(b, f.requested);
    const std::uint32_t done = get(b, f.done);
    const std::uint32_t pieceCount = get(b, f.pieces);
    log.add("lines", n).add("requested", requested).add("done", done).add("bytes", bytes).add("pieces", pieceCount);
    if (!scan_.active) return refuse(log, SimStatus::Sequence, "not_scanning");
    if (!scan_.readySeen) return refuse(log, SimStatus::Sequence, "not_ready");
    if (lineBytes != scan_.bytesPerLine || n == 0 || n > scan_.lines - scan_.delivered ||
        std::uint64_t{bytes} != std::uint64_t{n} * lineBytes || requested != scan_.delivered + n ||
        done != scan_.delivered) {
        return refuse(log, SimStatus::BadField, "request");
    }
    LinePlacement placement;
    if (!pieces_.placeLines(get(b, f.records), pieceCount, lineBytes, n, &placement)) {
        return refuse(log, SimStatus::BadAddress, "pieces");
    }
    for (std::uint32_t i = 0; i < n; ++i) renderLine(scan_.delivered + i, placement.lines[i]);
    scan_.delivered += n;
    if (scan_.delivered == scan_.lines) {
        scan_.active = false;
        notReady_ = scenario_.notReadyPollsAtEnd;
    }
    return 0;
}

double Scanner::reference(int colour) const {
    if (spec_.sampleBits == 16) {
        // Trim pairs: source 0 from byte 70, source 1 from 78, source 2 from 84.
        static const std::uint32_t firstPair[3] = {0, 4, 7};
        const std::uint32_t pair = firstPair[std::min<std::uint32_t>(window_.source, 2)] + colour;
        return trimFactor(scenario_.gainTrims[2 * pair], scenario_.gainTrims[2 * pair + 1]);
    }
    return std::max<std::uint16_t>(1, scenario_.shadingReference[colour]);
}

const PlacedDocument& Scanner::placedDocument() {
    const bool it8 = scenario_.document == "it8";
    std::string error;
    if (it8 && rasterDpi_ != window_.resolution) {
        // The virtual target is drawn at the scan resolution itself.
        rasterDpi_ = window_.resolution;
        raster_ = Raster{};
        if (!renderIt8Document(window_.resolution, scenario_.it8Response, scenario_.it8Tilt, &raster_, &error)) {
            log_.write(LogLine("SCENARIO").add("error", "document:" + error));
        }
    } else if (!it8 && !rasterTried_) {
        rasterTried_ = true;
        if (!readTargaDocument(scenario_.document, scenario_.documentDpi, &raster_, &error)) {
            log_.write(LogLine("SCENARIO").add("error", "document:" + error));
        }
    }
    const double unit = windowUnit();
    const double left = window_.xStart / unit;
    const double top = window_.yStart / unit;
    const double width = (window_.xEnd - window_.xStart) / unit;
    const double height = (window_.yEnd - window_.yStart) / unit;
    placed_ = PlacedDocument(&raster_, scenario_.documentLeft.value_or(left + (width - widthInches(raster_)) / 2),
                             scenario_.documentTop.value_or(top + (height - heightInches(raster_)) / 2),
                             scenario_.background);
    return placed_;
}

void Scanner::renderLine(std::uint32_t line, std::uint8_t* out) {
    const PlacedDocument& doc = placedDocument();
    const double unit = windowUnit();
    const double dpi = window_.resolution;
    const double y = window_.yStart / unit + (line + 0.5) / dpi;
    const double x0 = window_.xStart / unit;
    std::fill(out, out + scan_.bytesPerLine, std::uint8_t{0});
    const double references[3] = {reference(0), reference(1), reference(2)};
    for (std::uint32_t i = 0; i < scan_.pixels; ++i) {
        const std::array<std::uint8_t, 3> rgb = doc.at(x0 + (i + 0.5) / dpi, y);
        for (int c = 0; c < 3; ++c) {
            out[3 * i + c] = outputLevel(sensor_, correction_, i, c, rgb[c], references[c]);
        }
    }
}

}  // namespace sim
