#include "replay.h"

#include <cstdio>
#include <cstring>

#include "block_bytes.h"
#include "caller_memory.h"
#include "dialect.h"
#include "scanner.h"

namespace sim {

namespace {

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::string callName(std::size_t index, const trace::Call& call) {
    std::string name = "call " + std::to_string(index + 1) + " (";
    switch (call.kind) {
        case trace::Kind::AddressCheck: return name + "ADDR_CHK)";
        case trace::Kind::Describe: return name + "BUF_ADDR)";
        case trace::Kind::Command: return name + "SPI_CALL " + std::to_string(call.code) + " " + commandName(call.code) + ")";
        case trace::Kind::End: break;
    }
    return name + "end)";
}

std::vector<std::uint8_t> liveBytes(std::uint32_t address, std::uint32_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    if (bytes != 0 && !copyFromCaller(address, out.data(), bytes)) out.clear();
    return out;
}

}  // namespace

Replay::Replay(const std::string& tracePath, Dialect dialect, std::string reportPath)
    : spec_(dialectSpec(dialect)), reportPath_(std::move(reportPath)) {
    std::string error;
    if (!trace::read(tracePath, &trace_, &error)) {
        diverge("replay: the trace is refused: " + error);
    } else if (trace_.header.dialect != dialect) {
        diverge(std::string("replay: the trace is of the ") + dialectName(trace_.header.dialect) +
                " dialect, this library speaks " + dialectName(dialect));
    }
}

void Replay::diverge(const std::string& message) {
    if (diverged()) return;
    divergence_ = message;
    std::fprintf(stderr, "%s\n", message.c_str());
    if (reportPath_.empty()) return;
    if (std::FILE* f = std::fopen(reportPath_.c_str(), "wb")) {
        std::fprintf(f, "%s\n", message.c_str());
        std::fclose(f);
    }
}

const trace::Call* Replay::next(trace::Kind kind, const std::string& what) {
    if (diverged()) return nullptr;
    if (at_ >= trace_.calls.size()) {
        diverge("replay: call " + std::to_string(at_ + 1) + ": the driver made " + what +
                ", the recorded session had ended");
        return nullptr;
    }
    const trace::Call& call = trace_.calls[at_];
    if (call.kind != kind) {
        diverge("replay: " + callName(at_, call) + ": the driver made " + what + " instead");
        return nullptr;
    }
    ++at_;
    return &call;
}

void Replay::finish() {
    if (!diverged() && at_ < trace_.calls.size())
        diverge("replay: " + callName(at_, trace_.calls[at_]) + " was recorded but the driver never made it");
}

std::uint32_t Replay::addressCheck() {
    const trace::Call* call = next(trace::Kind::AddressCheck, "ADDR_CHK");
    return call == nullptr ? 0 : call->result;
}

std::uint32_t Replay::describeBuffer(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
    const std::string what = "BUF_ADDR (size " + std::to_string(size) + ", unit " + std::to_string(unit) + ")";
    const std::size_t index = at_;
    const trace::Call* call = next(trace::Kind::Describe, what);
    if (call == nullptr) return 0;
    if (call->size != size || call->unit != unit) {
        diverge("replay: " + callName(index, *call) + ": piece layout: the driver described " +
                std::to_string(size) + " bytes in units of " + std::to_string(unit) + ", recorded " +
                std::to_string(call->size) + " bytes in units of " + std::to_string(call->unit));
        return 0;
    }
    std::uint32_t base = 0, recordsAddress = 0;
    if (!pointerTo32(block, &base) || !pointerTo32(records, &recordsAddress)) {
        diverge("replay: " + callName(index, *call) + ": a block outside 32-bit memory");
        return 0;
    }
    // The recorded pieces, moved into the driver's block: same lengths, same
    // offsets from the block's start; the units field stays the driver's.
    auto* out = static_cast<std::uint8_t*>(records);
    trace::Described now = trace::describedFrom(*call, describeCalls_);
    now.buffer = base;
    now.records = recordsAddress;
    for (std::size_t i = 0; i < now.pieces.size(); ++i) {
        const auto [recordedAddress, length] = now.pieces[i];
        const std::uint32_t address = base + (recordedAddress - call->buffer);
        putU32(out + i * kPieceRecordBytes, kPieceLengthOffset, length);
        putU32(out + i * kPieceRecordBytes, kPieceAddressOffset, address);
        now.pieces[i].first = address;
    }
    recorded_.add(trace::describedFrom(*call, describeCalls_));
    live_.add(std::move(now));
    ++describeCalls_;
    return call->result;
}

bool Replay::movedAddress(const NamedField& field, std::uint32_t recorded, std::uint32_t* now) const {
    const trace::Described* then =
        field.kind == FieldKind::Records ? recorded_.byRecords(recorded) : recorded_.byFirstPiece(recorded);
    if (then == nullptr) {
        // Memory described before the recorded session (the stored shading of
        // an earlier run): the driver's must be unknown to this session too.
        const trace::Described* known = field.kind == FieldKind::Records ? live_.byRecords(*now) : live_.byFirstPiece(*now);
        return known == nullptr;
    }
    const trace::Described* live = live_.byIndex(then->index);
    if (live == nullptr) return false;
    if (field.kind == FieldKind::Records) {
        *now = live->records;
    } else {
        if (live->pieces.empty()) return false;
        *now = live->pieces.front().first;
    }
    return true;
}

std::string Replay::compareBlock(const trace::Call& recorded, const std::uint8_t* block) const {
    // What the driver asks: the request fields. Replies and reserved bytes
    // hold whatever the last answer left there.
    for (const NamedField& named : blockFields(spec_, recorded.code)) {
        const Field& f = named.field;
        if (named.kind == FieldKind::Reply || named.kind == FieldKind::CallerMemory) continue;
        if (f.offset + f.size > recorded.before.size()) continue;
        const std::uint8_t* then = recorded.before.data();
        if (f.size > 4) {
            for (std::uint32_t i = f.offset; i < f.offset + f.size; ++i)
                if (block[i] != then[i])
                    return std::string("field ") + named.name + " (byte " + std::to_string(f.offset) + " + " +
                           std::to_string(i - f.offset) + ") is " + std::to_string(block[i]) + ", recorded " +
                           std::to_string(then[i]);
            continue;
        }
        const std::uint32_t value = getField(block, f.offset, f.size);
        std::uint32_t expected = getField(then, f.offset, f.size);
        if (named.kind != FieldKind::Value && (expected = value, !movedAddress(named, getField(then, f.offset, f.size), &expected)))
            return std::string("field ") + named.name + " (byte " + std::to_string(f.offset) +
                   ") names memory that was not described as in the recording";
        if (value != expected)
            return std::string("field ") + named.name + " (byte " + std::to_string(f.offset) + ") is " +
                   std::to_string(value) + ", recorded " + std::to_string(expected);
    }
    return {};
}

std::string Replay::compareData(const trace::Call& recorded, const std::vector<trace::MemoryRef>& sent) const {
    std::size_t k = 0;
    for (const trace::Segment& s : recorded.data) {
        if (s.direction != trace::Direction::ToScanner) continue;
        if (k >= sent.size() || sent[k].bytes != s.bytes.size())
            return "piece layout: the data handed over is not in the recorded pieces";
        const std::vector<std::uint8_t> now = liveBytes(sent[k].address, sent[k].bytes);
        if (now.size() != s.bytes.size()) return std::string("the memory named by ") + sent[k].field + " cannot be read";
        for (std::size_t b = 0; b < now.size(); ++b)
            if (now[b] != s.bytes[b])
                return std::string("data named by field ") + sent[k].field + " differs at byte " + std::to_string(b) +
                       ": " + hex(now[b]) + ", recorded " + hex(s.bytes[b]);
        ++k;
    }
    return k == sent.size() ? std::string() : "piece layout: more data handed over than recorded";
}

std::uint32_t Replay::command(void* block, std::uint32_t adapter, std::uint32_t code) {
    const std::size_t index = at_;
    const trace::Call* call = next(trace::Kind::Command, "SPI_CALL " + std::to_string(code) + " " + commandName(code));
    auto* b = static_cast<std::uint8_t*>(block);
    const std::uint32_t refused = static_cast<std::uint32_t>(SimStatus::Sequence);
    // A refusal is a status in the block, as the scanner gives it.
    auto refuse = [&]() -> std::uint32_t {
        if (b != nullptr) putU16(b, kStatusOffset, refused);
        return refused;
    };
    if (call == nullptr) return refuse();
    const std::string name = "replay: " + callName(index, *call) + ": ";
    if (call->code != code) {
        diverge(name + "the driver sent function code " + std::to_string(code) + " (" + commandName(code) + ")");
        return refuse();
    }
    if (call->adapter != adapter) {
        diverge(name + "adapter handle " + std::to_string(adapter) + ", recorded " + std::to_string(call->adapter));
        return refuse();
    }
    if (b == nullptr) {
        diverge(name + "no command block");
        return refused;
    }
    if (const std::string d = compareBlock(*call, b); !d.empty()) {
        diverge(name + d);
        return refuse();
    }
    const std::vector<trace::MemoryRef> named = trace::namedMemory(spec_, code, b, live_);
    std::vector<trace::MemoryRef> sent, filled;
    for (const trace::MemoryRef& m : named) (m.direction == trace::Direction::ToScanner ? sent : filled).push_back(m);
    if (const std::string d = compareData(*call, sent); !d.empty()) {
        diverge(name + d);
        return refuse();
    }
    // The library's reply: its reply fields as recorded (the driver's block
    // may hold another answer from an earlier run), whatever else it changed
    // in the block, and what it wrote into the pieces.
    for (std::size_t i = 0; i < call->before.size(); ++i)
        if (call->after[i] != call->before[i]) b[i] = call->after[i];
    for (const NamedField& f : blockFields(spec_, code)) {
        if (f.kind != FieldKind::Reply || f.field.offset + f.field.size > call->after.size()) continue;
        std::memcpy(b + f.field.offset, call->after.data() + f.field.offset, f.field.size);
    }
    std::size_t k = 0;
    for (const trace::Segment& s : call->data) {
        if (s.direction != trace::Direction::FromScanner) continue;
        if (k >= filled.size() || filled[k].bytes != s.bytes.size()) {
            diverge(name + "piece layout: the pieces to fill differ from the recorded ones");
            return refuse();
        }
        std::memcpy(pointerFrom32(filled[k].address), s.bytes.data(), s.bytes.size());
        ++k;
    }
    return call->result;
}

}  // namespace sim
