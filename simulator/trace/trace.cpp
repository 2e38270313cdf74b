#include "trace.h"

#include <zlib.h>

#include <cstring>

#include "dialect.h"

namespace sim::trace {

namespace {

constexpr char kMagic[8] = {'A', 'U', 'C', 'A', 'L', 'T', 'R', 'C'};
// No single call carries more than this (a read of 4 MiB of pieces at most).
constexpr std::uint32_t kLargestPayload = 64u << 20;

void put8(std::vector<std::uint8_t>& out, std::uint8_t v) { out.push_back(v); }
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
    put32(out, static_cast<std::uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> payload(const Call& call) {
    std::vector<std::uint8_t> p;
    put32(p, call.start);
    put32(p, call.duration);
    put32(p, call.result);
    if (call.kind == Kind::Command) {
        put32(p, call.code);
        put32(p, call.adapter);
        put32(p, static_cast<std::uint32_t>(call.before.size()));
        p.insert(p.end(), call.before.begin(), call.before.end());
        p.insert(p.end(), call.after.begin(), call.after.end());
        put16(p, static_cast<std::uint16_t>(call.data.size()));
        for (const Segment& s : call.data) {
            put8(p, static_cast<std::uint8_t>(s.direction));
            put32(p, s.address);
            putBytes(p, s.bytes);
        }
    } else if (call.kind == Kind::Describe) {
        put32(p, call.buffer);
        put32(p, call.size);
        put32(p, call.records);
        put32(p, call.unit);
        putBytes(p, call.pieceRecords);
    }
    return p;
}

// Reads fields of one payload; any read past its end marks it bad.
class Cursor {
public:
    explicit Cursor(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint32_t get(int size) {
        if (!need(size)) return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < size; ++i) v |= static_cast<std::uint32_t>(bytes_[at_ + i]) << (8 * i);
        at_ += size;
        return v;
    }
    std::vector<std::uint8_t> take(std::uint32_t n) {
        if (!need(n)) return {};
        std::vector<std::uint8_t> out(bytes_.begin() + at_, bytes_.begin() + at_ + n);
        at_ += n;
        return out;
    }
    bool finished() const { return !bad_ && at_ == bytes_.size(); }

private:
    bool need(std::size_t n) {
        if (bad_ || bytes_.size() - at_ < n) bad_ = true;
        return !bad_;
    }
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
    bool bad_ = false;
};

bool parseCall(Kind kind, const std::vector<std::uint8_t>& bytes, Call* call) {
    Cursor c(bytes);
    call->kind = kind;
    call->start = c.get(4);
    call->duration = c.get(4);
    call->result = c.get(4);
    if (kind == Kind::Command) {
        call->code = c.get(4);
        call->adapter = c.get(4);
        const std::uint32_t n = c.get(4);
        call->before = c.take(n);
        call->after = c.take(n);
        const std::uint32_t segments = c.get(2);
        for (std::uint32_t i = 0; i < segments && c.finished() == false; ++i) {
            Segment s;
            s.direction = static_cast<Direction>(c.get(1));
            if (s.direction != Direction::ToScanner && s.direction != Direction::FromScanner) return false;
            s.address = c.get(4);
            s.bytes = c.take(c.get(4));
            call->data.push_back(std::move(s));
        }
    } else if (kind == Kind::Describe) {
        call->buffer = c.get(4);
        call->size = c.get(4);
        call->records = c.get(4);
        call->unit = c.get(4);
        call->pieceRecords = c.take(c.get(4));
        if (call->pieceRecords.size() % kPieceRecordBytes != 0) return false;
    }
    return c.finished();
}

// Exactly n bytes from the stream; false at its end or on damage.
bool readExactly(gzFile file, void* out, std::uint32_t n) {
    return n == 0 || gzread(file, out, n) == static_cast<int>(n);
}

std::string streamError(gzFile file, const std::string& what) {
    int code = Z_OK;
    const char* message = gzerror(file, &code);
    if (code != Z_OK && code != Z_STREAM_END && message != nullptr && *message != '\0')
        return what + " (" + message + ")";
    return what;
}

}  // namespace

Writer::~Writer() { close(); }

bool Writer::open(const std::string& path, const Header& header) {
    close();
    file_ = gzopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = "cannot create " + path;
        return false;
    }
    std::vector<std::uint8_t> h(kMagic, kMagic + sizeof kMagic);
    put16(h, header.version);
    put8(h, static_cast<std::uint8_t>(header.dialect));
    put8(h, 0);
    put16(h, static_cast<std::uint16_t>(header.library.size()));
    h.insert(h.end(), header.library.begin(), header.library.end());
    put(h);
    return ok();
}

void Writer::put(const std::vector<std::uint8_t>& bytes) {
    if (file_ == nullptr || bytes.empty()) return;
    auto file = static_cast<gzFile>(file_);
    if (gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())) != static_cast<int>(bytes.size())) {
        error_ = streamError(file, "cannot write the trace");
        gzclose(file);
        file_ = nullptr;
    }
}

void Writer::write(const Call& call) {
    const std::vector<std::uint8_t> p = payload(call);
    std::vector<std::uint8_t> record;
    put8(record, static_cast<std::uint8_t>(call.kind));
    put32(record, static_cast<std::uint32_t>(p.size()));
    record.insert(record.end(), p.begin(), p.end());
    put(record);
}

void Writer::close() {
    if (file_ == nullptr) return;
    Call end;
    end.kind = Kind::End;
    write(end);
    if (file_ != nullptr && gzclose(static_cast<gzFile>(file_)) != Z_OK) error_ = "cannot finish the trace";
    file_ = nullptr;
}

bool read(const std::string& path, Trace* out, std::string* error) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path;
        return false;
    }
    struct Closer {
        gzFile f;
        ~Closer() { gzclose(f); }
    } closer{file};
    std::uint8_t h[14];
    if (!readExactly(file, h, sizeof h)) {
        *error = streamError(file, path + ": damaged, truncated or not a scanner trace");
        return false;
    }
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0) {
        *error = path + " is not a scanner trace";
        return false;
    }
    Trace t;
    t.header.version = static_cast<std::uint16_t>(h[8] | (h[9] << 8));
    if (t.header.version != kVersion) {
        *error = path + ": trace version " + std::to_string(t.header.version) + ", this program reads version " +
                 std::to_string(kVersion);
        return false;
    }
    if (h[10] > static_cast<std::uint8_t>(Dialect::Prescan)) {
        *error = path + ": unknown dialect " + std::to_string(h[10]);
        return false;
    }
    t.header.dialect = static_cast<Dialect>(h[10]);
    const std::uint32_t nameBytes = h[12] | (h[13] << 8);
    t.header.library.resize(nameBytes);
    if (!readExactly(file, t.header.library.data(), nameBytes)) {
        *error = streamError(file, path + ": truncated header");
        return false;
    }
    for (;;) {
        const std::string where = path + ": call " + std::to_string(t.calls.size() + 1);
        std::uint8_t head[5];
        if (!readExactly(file, head, sizeof head)) {
            *error = streamError(file, where + ": the trace ends without its end record (truncated)");
            return false;
        }
        const auto kind = static_cast<Kind>(head[0]);
        const std::uint32_t size = head[1] | (head[2] << 8) | (head[3] << 16) | (static_cast<std::uint32_t>(head[4]) << 24);
        if (kind < Kind::AddressCheck || kind > Kind::End || size > kLargestPayload) {
            *error = where + ": damaged (kind " + std::to_string(head[0]) + ", " + std::to_string(size) + " bytes)";
            return false;
        }
        std::vector<std::uint8_t> bytes(size);
        if (!readExactly(file, bytes.data(), size)) {
            *error = streamError(file, where + ": truncated");
            return false;
        }
        Call call;
        if (!parseCall(kind, bytes, &call)) {
            *error = where + ": damaged record";
            return false;
        }
        if (kind == Kind::End) break;
        t.calls.push_back(std::move(call));
    }
    // Anything after the end record, or a stream that does not check, is damage.
    std::uint8_t extra;
    if (gzread(file, &extra, 1) != 0) {
        *error = streamError(file, path + ": damaged after the end record");
        return false;
    }
    *out = std::move(t);
    return true;
}

std::string describe(const Call& call) {
    std::string line = std::to_string(call.start) + " us +" + std::to_string(call.duration) + " us  ";
    switch (call.kind) {
        case Kind::AddressCheck: return line + "ADDR_CHK -> " + std::to_string(call.result);
        case Kind::Describe:
            return line + "BUF_ADDR size " + std::to_string(call.size) + " unit " + std::to_string(call.unit) + " -> " +
                   std::to_string(call.result) + " pieces";
        case Kind::Command: {
            const std::uint32_t status = call.after.size() >= 4 ? (call.after[2] | (call.after[3] << 8)) : 0;
            line += "SPI_CALL " + std::to_string(call.code) + " " + commandName(call.code) + " (" +
                    std::to_string(call.before.size()) + "-byte block) status " + std::to_string(status);
            for (const Direction d : {Direction::ToScanner, Direction::FromScanner}) {
                std::size_t pieces = 0, bytes = 0;
                for (const Segment& s : call.data)
                    if (s.direction == d) ++pieces, bytes += s.bytes.size();
                if (pieces != 0)
                    line += std::string(d == Direction::ToScanner ? ", sent " : ", received ") +
                            std::to_string(bytes) + " bytes in " + std::to_string(pieces) + " pieces";
            }
            return line;
        }
        case Kind::End: break;
    }
    return line + "end";
}

}  // namespace sim::trace
