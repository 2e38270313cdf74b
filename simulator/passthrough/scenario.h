/* The simulated SCSI pass-through library: its scenario file and its call log.
 *
 * The library KASPI_SP.DLL (a shared object of that name on Linux) emulates a
 * flatbed scanner behind the three procedures
 *
 *   uint32_t ADDR_CHK(void);                                   adapter handle, 0 = none
 *   uint32_t SPI_CALL(void* block, uint32_t adapter, uint32_t code);   returns the status word
 *   uint32_t BUF_ADDR(void* block, uint32_t size, void* records, uint32_t unit);  pieces
 *
 * all callee-cleans (stdcall on 32-bit Windows), exported by plain name. The
 * command block pointer is a full pointer argument; addresses inside blocks
 * and piece records are 32-bit fields (below 4 GiB on 64-bit Linux).
 *
 * ---------------------------------------------------------------------------
 * SCENARIO FILE
 * ---------------------------------------------------------------------------
 * "scenario.txt" in the folder of the library (or the file named by the
 * environment variable AUCAL_SIM_SCENARIO). Read once when the library is
 * loaded (at its first call); a missing file means every default. Plain text,
 * one "key = value" per line; '#' starts a comment; blank lines are ignored;
 * keys are lower case; numbers are decimal or 0x hexadecimal; an unknown key
 * or a bad value is reported in the log as "SCENARIO error=..." and ignored.
 *
 *   dialect = scan | vexa | prescan
 *       Command dialect. Default from the library's folder name: KVSC_Z48 ->
 *       vexa, KVSC_A3 -> prescan, anything else -> scan.
 *   model_digits = 6000
 *       Up to 4 characters written at inquiry offset 57 (zero-padded: "600"
 *       gives '6','0','0',0). Default 6000 (scan, prescan), 1200 (vexa).
 *   base_resolution = auto | <dpi>
 *       Window unit of scan/prescan. auto: 1200 -> 1200, 6000 -> 600,
 *       6060 -> 1200, 8000 -> 800, other digits -> 600. vexa always uses 4800.
 *   adapter = 0 | 1                 transparency adapter flag, inquiry byte 126 (default 0)
 *   adapter_handle = 0x5A17         what ADDR_CHK returns; 0 = no adapter usable
 *   shading_reference = 2000 1900 2100
 *       Red, green, blue shading reference words, inquiry offsets 70, 72, 74
 *       (scan, prescan). The scanner itself uses these values for its gain.
 *   gain_trims = 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
 *       vexa: the 20 bytes at inquiry offsets 70..89, ten pairs (magnitude,
 *       sign): factor 1 + m/256 when sign is 0, else 1 - m/256. Pairs 1-3
 *       (bytes 70..75) serve red, green, blue of source 0, pairs 5-7 (78..83)
 *       source 1, pairs 8-10 (84..89) source 2. The scanner divides the
 *       coefficients by its own factors.
 *   calibrate = 1                   set-window reply byte 20 (calibration request)
 *   stored_shading = 0              set-window reply byte 21 (2 = send the stored shading)
 *   gamma_request = 1               set-window reply byte 22 (vexa: send gamma tables)
 *   shading_flag = 1                vexa: get-shading-geometry reply flag at offset 6
 *   shading_line_bytes = auto | <L> auto: 6 x pixels of the window + 6 (scan,
 *                                   prescan), 6 x pixels (vexa)
 *   shading_lines = auto | <M>      auto: 30 (scan, prescan), 16 (vexa)
 *   white_level = auto | <raw>      mean raw white: auto 3200 of 4095 (12-bit
 *                                   samples), 52000 of 65535 (vexa, 16-bit)
 *   gain_variation = 0.08           relative spread of the per-element white:
 *                                   without shading correction it shows as stripes
 *   shading_noise = 2               peak noise of white reference samples, raw counts
 *   seed = 1                        seed of the element gains and the noise
 *   lines = auto | <H>              start-scan line count (auto: from the window)
 *   bytes_per_line = auto | <B>     start-scan bytes per line (auto: 3 x pixels + line_pad)
 *   line_pad = 0                    bytes after the pixel bytes of every line (zero)
 *   document = it8 | <path>         it8: the virtual IT8.7/2 target; otherwise an
 *                                   uncompressed 24-bit Targa file (relative
 *                                   paths from the scenario's folder)
 *   document_dpi = 300              resolution of a Targa document
 *   it8_response = mild             true scanner response of the virtual target:
 *                                   mild, nonlinear, crosstalk, linear
 *   it8_tilt = 0                    the virtual target turned on the glass, degrees (-10..10)
 *   document_left = auto | <inch>   bed position of the document's left edge;
 *   document_top = auto | <inch>    auto: centred in the window of the scan
 *   background = 255 255 255        lid colour (red green blue) outside the document
 *   piece_bytes = 16384             BUF_ADDR: wanted piece size (rounded down to
 *                                   whole units, at least one unit)
 *   piece_limit = 16                BUF_ADDR: most pieces of one call (pieces grow
 *                                   so that this many cover the block)
 *   piece_slack = 0                 BUF_ADDR: bytes each piece length exceeds its whole units
 *   not_ready_polls = 2             get status answers "not ready" this many times
 *                                   after start scan ("never": never ready)
 *   not_ready_polls_after_abort = 1
 *   not_ready_polls_at_end = 0      after the last line has been read
 *   error = <code> <n>[+] <status>  the n-th SPI_CALL of function <code> (counted
 *                                   from load; "n+" = that call and every later
 *                                   one) only sets <status> and does nothing
 *                                   else; several error lines may be given
 *   reply = <code> <offset> <size> <value> [<n>[+]]
 *                                   after a successful SPI_CALL of function
 *                                   <code> (every call, or only the n-th / from
 *                                   the n-th on), write <value> as a field of
 *                                   <size> 1, 2 or 4 bytes at <offset> of the
 *                                   block: odd replies the scanner would not
 *                                   give by itself (e.g. vexa's line count at
 *                                   offset 10 instead of 12); offset + size at
 *                                   most 16400; the log line carries overridden=<k>
 *   buf_addr_fail = <n>[+]          the n-th BUF_ADDR call returns 0 pieces
 *   log = passthrough.log | none    the call log (relative paths from the
 *                                   scenario's folder)
 *   replay = FILE                   answer from a recorded trace (see
 *                                   simulator/trace/trace.h) instead of the
 *                                   simulated scanner; every other key but
 *                                   dialect is then ignored
 *   replay_report = FILE            where replay writes the first divergence
 *
 * Statuses of the simulator's own checks (the scanner refuses a request):
 *   0x8F01 bad field (a request field or constant is wrong)
 *   0x8F02 sequence (e.g. read image data before start scan or before ready)
 *   0x8F03 bad address (piece records or pieces not handed out by BUF_ADDR,
 *          null tables, a read that does not fit its pieces)
 *   0x8F04 unknown function code
 *   0x8F05 wrong adapter handle: not the one ADDR_CHK returned; vexa and
 *          prescan dialects: any call before ADDR_CHK (error=no_addr_chk) or
 *          after it returned 0 (error=no_handle); scan dialect: the handle
 *          is 0 unless ADDR_CHK was called
 *
 * ---------------------------------------------------------------------------
 * CALL LOG
 * ---------------------------------------------------------------------------
 * Appended, one line per event, never truncated by the library (delete it
 * before a run). Each line: a word, then space-separated key=value fields,
 * numbers in decimal:
 *
 *   LOAD dialect=<scan|vexa|prescan> scenario=<path|->
 *   SCENARIO error=<text>                 a scenario line that was ignored, or
 *                                         error=document:<why> when the document
 *                                         cannot be read (the lid is scanned)
 *   ADDR_CHK handle=<h>
 *   BUF_ADDR call=<k> size=<bytes> unit=<bytes> [injected=1|error=address] pieces=<n> piece_bytes=<length of each piece>
 *   SPI_CALL code=<c> cmd=<name> call=<k> adapter=<h> status=<s> [fields] [error=<word>] [overridden=<k>]
 *   UNLOAD                                the library was released (FreeLibrary)
 *
 * cmd names and their fields (request fields as received, reply fields as given):
 *   0 inquiry       model=<digits> adapter_flag=<0|1>
 *   1 set_window    x_start y_start x_end y_end source resolution calibrate stored_shading gamma_request
 *   2 read_shading  resolution bytes_per_line lines pieces
 *   3 send_shading  resolution count
 *   4 gamma         entries (scan, prescan) | table_bytes (vexa)
 *   5 start_scan    bytes_per_line lines
 *   6 abort
 *   7 geometry      bytes_per_line lines [flag (vexa)]
 *   8 read_image    lines requested done bytes pieces
 *   9 get_status    ready=<0|1>
 * An injected error logs only code, cmd, call, adapter, status and injected=1.
 * A refused request logs its request fields as far as they were read, then
 * error=<word>: constant, source, no_adapter, resolution, window, request,
 * geometry, count, size, entries, table, pieces, no_window, not_scanning,
 * not_ready, adapter, no_addr_chk, no_handle, code, null_block.
 */
#ifndef SIMULATOR_PASSTHROUGH_SCENARIO_H
#define SIMULATOR_PASSTHROUGH_SCENARIO_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class Dialect { Scan, Vexa, Prescan };

// Statuses the simulated scanner answers with when it refuses a request.
enum class SimStatus : std::uint16_t {
    Ok = 0,
    BadField = 0x8F01,
    Sequence = 0x8F02,
    BadAddress = 0x8F03,
    UnknownCode = 0x8F04,
    WrongAdapter = 0x8F05,
};

// "n" or "n+": which calls of a counted kind a fault hits.
struct CallSelector {
    std::uint32_t nth = 0;  // 1-based; 0 = never
    bool andLater = false;
    bool matches(std::uint32_t call) const { return nth != 0 && (call == nth || (andLater && call > nth)); }
};

struct InjectedError {
    std::uint32_t code = 0;
    CallSelector calls;
    std::uint16_t status = 0;
};

// A reply field written over what the scanner answered.
struct ReplyOverride {
    std::uint32_t code = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t value = 0;
    CallSelector calls;  // nth = 0: every call
    bool appliesTo(std::uint32_t call) const { return calls.nth == 0 || calls.matches(call); }
};

constexpr std::uint32_t kNever = 0xFFFFFFFFu;

struct Scenario {
    Dialect dialect = Dialect::Scan;
    std::string modelDigits = "6000";
    std::optional<std::uint32_t> baseResolution;  // empty = from the digits
    bool adapter = false;
    std::uint32_t adapterHandle = 0x5A17;
    std::array<std::uint16_t, 3> shadingReference{2000, 1900, 2100};
    std::array<std::uint8_t, 20> gainTrims{};
    std::uint8_t calibrate = 1;
    std::uint8_t storedShading = 0;
    std::uint8_t gammaRequest = 1;
    std::uint16_t shadingFlag = 1;
    std::optional<std::uint32_t> shadingLineBytes;
    std::optional<std::uint32_t> shadingLines;
    std::optional<double> whiteLevel;
    double gainVariation = 0.08;
    double shadingNoise = 2.0;
    std::uint32_t seed = 1;
    std::optional<std::uint32_t> lines;
    std::optional<std::uint32_t> bytesPerLine;
    std::uint32_t linePad = 0;
    std::string document = "it8";  // "it8" or a resolved path
    double documentDpi = 300.0;
    std::string it8Response = "mild";
    double it8Tilt = 0.0;
    std::optional<double> documentLeft;
    std::optional<double> documentTop;
    std::array<std::uint8_t, 3> background{255, 255, 255};
    std::uint32_t pieceBytes = 16384;
    std::uint32_t pieceLimit = 16;
    std::uint32_t pieceSlack = 0;
    std::uint32_t notReadyPolls = 2;  // kNever: never ready
    std::uint32_t notReadyPollsAfterAbort = 1;
    std::uint32_t notReadyPollsAtEnd = 0;
    std::vector<InjectedError> errors;
    std::vector<ReplyOverride> replies;
    CallSelector bufAddrFail;
    std::string logPath;  // empty: no log
    std::string replayPath;        // a trace to answer from instead of the simulated scanner
    std::string replayReportPath;  // where replay writes its first divergence
    std::vector<std::string> problems;  // ignored lines, for the log
};

// Default scenario of a dialect (model digits, shading lines, white level).
Scenario defaultScenario(Dialect dialect);

// Parses scenario text; relative paths resolve against baseFolder.
Scenario parseScenario(const std::string& text, Dialect defaultDialect, const std::string& baseFolder);

// Dialect implied by the library's folder (KVSC_Z48, KVSC_A3, else scan).
Dialect dialectForFolder(const std::string& folder);

const char* dialectName(Dialect dialect);

}  // namespace sim

#endif
