// aucal never damages a user's files: the real binary run on files that aucal
// made itself, each bad invocation refused with its message and exit status
// and the folder byte for byte as before (hidden files included, so no
// temporary file either); signals in the middle of a long write leave neither
// a partial nor a temporary file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "aucal_run.h"
#include "option_checks.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CliRun;
using testsupport::runAucal;

// Every file under the folder, hidden ones too, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> snapshot(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = testsupport::readFile(entry.path());
    return files;
}

std::string withFolder(std::string args, const std::string& dir) {
    for (std::size_t at; (at = args.find("{d}")) != std::string::npos;) args.replace(at, 3, dir);
    return args;
}

// Inputs made by aucal itself, once for the suite.
class DataSafety : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        for (const char* step :
             {"scan --output {d}/it8.tga --reference-out {d}/ref.txt", "scanner --image {d}/it8.tga --output {d}/s.mdl",
              "chart --output {d}/chart.tga", "print --table {d}/t.tbl",
              "printer --table {d}/t.tbl --model {d}/s.mdl --output {d}/p.blk",
              "monitor --model {d}/s.mdl --levels 186 186 186 --output {d}/m.blk",
              "icc --model {d}/s.mdl --output {d}/keep.icc"})
            ASSERT_EQ(runAucal("-q " + withFolder(step, folder())).status, 0) << step;
        fs::create_directories(folder() + "/a");
        fs::create_directories(folder() + "/b");
        fs::copy_file(folder() + "/chart.tga", folder() + "/a/chart.tga");
        fs::copy_file(folder() + "/chart.tga", folder() + "/b/chart.tga");
        fs::create_hard_link(folder() + "/s.mdl", folder() + "/same.icc");
        testsupport::writeText(folder() + "/keep.tga", "an existing scan the user keeps");
        fs::create_directories(folder() + "/realwin/TWAIN_32/KVSC_PRO");
        testsupport::writeText(folder() + "/realwin/TWAIN_32/KVSC_PRO/KASPI_SP.DLL", "the scanner maker's library");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string folder() { return dir_->path().string(); }
    static testsupport::TempDir* dir_;
};
testsupport::TempDir* DataSafety::dir_ = nullptr;

struct Refused {
    const char* args;  // {d}: the folder
    int status;
    const char* message;
};

void expectRefused(const std::vector<Refused>& rows, const std::string& dir) {
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.args);
        const auto before = snapshot(dir);
        const CliRun run = runAucal(withFolder(row.args, dir));
        EXPECT_EQ(run.status, row.status) << run.output;
        EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
        EXPECT_TRUE(snapshot(dir) == before) << "the folder changed";
    }
}

// An output that is an input (by device and inode, not by name), two outputs
// on one name, an in-place correction without --in-place.
TEST_F(DataSafety, OutputsThatWouldReplaceAnInputOrEachOtherAreRefused) {
    expectRefused({{"correct --block {d}/p.blk --output-dir {d} {d}/chart.tga", 2, "is the input"},
                   {"correct --block {d}/p.blk --output {d}/chart.tga {d}/chart.tga", 2, "is the input"},
                   {"correct --block {d}/p.blk --output-dir {d}/out {d}/a/chart.tga {d}/b/chart.tga", 2,
                    "two outputs would be written"},
                   {"scanner --image {d}/it8.tga --output {d}/it8.tga", 2, "is the input"},
                   {"icc --model {d}/s.mdl --output {d}/same.icc", 2, "is the input"},
                   {"print --chart {d}/chart.tga --output {d}/chart.tga", 2, "is the input"},
                   {"printer --table {d}/t.tbl --model {d}/s.mdl --output {d}/t.tbl", 2, "is the input"},
                   {"assign --profile {d}/keep.icc --output-dir {d}/a {d}/a/chart.tga", 2, "is the input"}},
                  folder());
}

// Every option checked before any work, the accepted range or set named.
TEST_F(DataSafety, OptionsOutsideWhatTheDevicesAcceptAreRefusedWithTheirRange) {
    expectRefused(
        {{"monitor --model {d}/s.mdl --levels 0 0 300 --output {d}/x.blk", 2, "1 to 254"},
         {"monitor --model {d}/s.mdl --levels -5 100 100 --output {d}/x.blk", 2, "1 to 254"},
         {"monitor --model {d}/s.mdl --levels 255 255 255 --output {d}/x.blk", 2, "1 to 254"},
         {"monitor --model {d}/s.mdl --levels 186 186 186 --phosphors 0.3 0.3 0.3 0.3 0.3 0.3 --output {d}/x.blk", 2,
          "on one line"},
         {"monitor --model {d}/s.mdl --levels 186 186 186 --phosphors 0.7 0.5 0.3 0.6 0.15 0.06 --output {d}/x.blk", 2,
          "x + y < 1"},
         {"icc --block {d}/m.blk --phosphors 0 0.33 0.3 0.6 0.15 0.06 --output {d}/x.icc", 2, "strictly between 0 and 1"},
         {"print --chart {d}/chart.tga --dpi 0 --output {d}/x.tga", 2, "50 to 1200 dpi"},
         {"print --chart {d}/chart.tga --dpi -300 --output {d}/x.tga", 2, "50 to 1200 dpi"},
         {"print --chart {d}/chart.tga --dpi nan --output {d}/x.tga", 2, "50 to 1200 dpi"},
         {"print --chart {d}/chart.tga --blur -1 --output {d}/x.tga", 2, "0 to 5"},
         {"print --chart {d}/chart.tga --tilt 45 --output {d}/x.tga", 2, "-10 to 10 degrees"},
         {"print --chart {d}/chart.tga --printer offset --output {d}/x.tga", 2, "inkjet, laser, newsprint"},
         {"scan --language 7 --output {d}/x.tga", 2, "de or 5"},
         {"scan --type slide --output {d}/x.tga", 2, "transparency or 1"},
         {"scan --response foo --output {d}/x.tga", 2, "mild, nonlinear, crosstalk, linear"},
         {"scan --document {d}/chart.tga --document-dpi 0 --output {d}/x.tga", 2, "1 to 9600 dpi"},
         {"printer --table {d}/it8.tga --model {d}/s.mdl --output {d}/x.blk", 1, "is not a printer table"},
         {"printer --table {d}/s.mdl --model {d}/s.mdl --output {d}/x.blk", 1, "is not a printer table"}},
        folder());
}

// Options that conflict or would be ignored, outputs whose name says another
// format than the one written.
TEST_F(DataSafety, ConflictingIgnoredOrMisnamedOptionsAreRefused) {
    expectRefused(
        {{"correct --block {d}/p.blk --output {d}/x.png --output-dir {d}/o {d}/chart.tga", 2, "not both"},
         {"correct --block {d}/p.blk --format png --output {d}/x.tif {d}/chart.tga", 2, "disagree"},
         {"correct --block {d}/p.blk --in-place --format png {d}/chart.tga", 2, "--in-place"},
         {"correct --block {d}/p.blk --output {d}/x.bmp {d}/chart.tga", 2, "must end in .tga or .png"},
         {"chart --output {d}/c.png", 2, "must end in .tga"},
         {"print --chart {d}/chart.tga --output {d}/x.png", 2, "must end in .tga"},
         {"scan --output {d}/x.png", 2, "must end in .tga"},
         {"monitor --match-page {d}/x.txt", 2, "must end in .html"},
         {"icc --model {d}/s.mdl --output {d}/x.txt", 2, "must end in .icc"},
         {"icc --model {d}/s.mdl --image {d}/it8.tga --output {d}/x.icc", 2, "would be ignored"},
         {"scan --real-scanner --response linear --output {d}/x.tga", 2, "do not go together"},
         {"scan --document-dpi 600 --output {d}/x.tga", 2, "--document-dpi is the resolution of a Targa"},
         {"printer --scan {d}/it8.tga --table {d}/t.tbl --model {d}/s.mdl --output {d}/x.blk", 2, "one of them"}},
        folder());
}

// Failures that leave every existing file as it was: the real scanner
// without its library (the scan's existing output kept), a checked profile
// whose image holds no target to check it on (the existing profile kept).
TEST_F(DataSafety, FailedStepsLeaveExistingFilesAsTheyWere) {
    expectRefused({{"scan --real-scanner --windir {d}/nowin --output {d}/keep.tga", 1, "no pass-through library at"},
                   {"scan --windir {d}/realwin --output {d}/keep.tga", 1, "aucal does not replace it"},
                   {"icc --model {d}/s.mdl --image {d}/chart.tga --reference {d}/ref.txt --output {d}/keep.icc --check",
                    1, "no IT8.7/2 target found in"},
                   // Quiet, the sentence is all that is printed, and it says what failed.
                   {"-q icc --model {d}/s.mdl --image {d}/chart.tga --reference {d}/ref.txt --output {d}/keep.icc "
                    "--table {d}/keep-table.icc --check",
                    1, "aucal: no IT8.7/2 target found in"}},
                  folder());
}

// Mistyped names get the nearest valid one; usage errors exit 2.
TEST_F(DataSafety, MistypedNamesAreAnsweredWithTheNearestValidOne) {
    expectRefused({{"scann --output {d}/x.tga", 2, "did you mean scan?"},
                   {"scan --outptu {d}/x.tga", 2, "did you mean --output?"},
                   {"correct --blok {d}/p.blk {d}/chart.tga", 2, "did you mean --block?"},
                   {"colour", 2, "unknown subcommand"}},
                  folder());
}

struct Accepted {
    const char* args;
    const char* printed;  // part of what is printed
    const char* written;  // a file that must exist afterwards, "" for none
};

// Names as well as numbers, folders created, --in-place, --version and the
// exit statuses in --help.
TEST_F(DataSafety, NamesFoldersInPlaceVersionAndHelpWork) {
    testsupport::TempDir out;
    fs::copy_file(folder() + "/chart.tga", out.file("photo.tga"));
    const std::vector<Accepted> rows{
        {"scan --language de --type reflective --output {o}/new/de.tga", "simulated scanner", "new/de.tga"},
        {"correct --block {d}/p.blk --output-dir {o}/for-print/deeper {d}/chart.tga", "corrected",
         "for-print/deeper/chart.tga"},
        {"correct --block {d}/p.blk --in-place {o}/photo.tga", "corrected", "photo.tga"},
        {"--version", "colour engine", ""},
        {"--help", "Exit status: 0 done, 1 failed, 2 usage error", ""},
    };
    for (const Accepted& row : rows) {
        SCOPED_TRACE(row.args);
        std::string args = withFolder(row.args, folder());
        for (std::size_t at; (at = args.find("{o}")) != std::string::npos;) args.replace(at, 3, out.path().string());
        const CliRun run = runAucal(args);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(row.printed), std::string::npos) << run.output;
        if (*row.written != '\0') {
            EXPECT_TRUE(fs::exists(out.path() / row.written));
        }
    }
    EXPECT_NE(testsupport::readFile(out.file("photo.tga")), testsupport::readFile(folder() + "/chart.tga"));
}

// Driver message boxes reach the terminal in UTF-8 from their block's code
// page, and the failure says the driver has said why only when it has.
TEST_F(DataSafety, DriverMessagesAreUtf8AndNamedOnlyWhenShown) {
    const std::string scenario = folder() + "/jam.txt";
    testsupport::writeText(scenario, "error = 1 1 0x8217\nlog = none\n");
    ::setenv("AUCAL_SIM_SCENARIO", scenario.c_str(), 1);
    const struct {
        const char* language;
        const char* message;
    } rows[] = {{"es", "Papel atascado en el alimentador autom\xC3\xA1tico de documentos"},
                {"fr", "Papier coinc\xC3\xA9 dans le chargeur"},
                {"zh-tw", "\xE8\x87\xAA\xE5\x8B\x95\xE9\x80\x81\xE7\xB4\x99\xE5\x99\xA8\xE5\x8D\xA1\xE7\xB4\x99"},
                {"0", "Paper Jammed in Automatic Document Feeder"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language);
        const auto before = snapshot(folder());
        const CliRun run = runAucal("scan --language " + std::string(row.language) + " --output " + folder() +
                                    "/keep.tga");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("the driver has said why above"), std::string::npos) << run.output;
        EXPECT_TRUE(snapshot(folder()) == before);
    }
    ::unsetenv("AUCAL_SIM_SCENARIO");
}

// A signal while the chart printed at 1200 dpi (about 100 MB) is being
// written, or while it is being printed: the existing output is kept whole,
// no temporary file stays, and the exit status is 128 + the signal.
TEST_F(DataSafety, ASignalDuringALongWriteLeavesNoPartialAndNoTemporaryFile) {
    const struct {
        int signal;
        int status;
        bool duringWrite;  // else one second into the print, between its rows
    } rows[] = {{SIGTERM, 143, true}, {SIGINT, 130, false}, {SIGHUP, 129, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        testsupport::TempDir out;
        const std::string target = out.file("printed.tga");
        testsupport::writeText(target, "the print of last week");
        const std::string chart = folder() + "/chart.tga";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::freopen("/dev/null", "w", stderr);
            ::execl(AUCAL_BINARY, AUCAL_BINARY, "print", "--chart", chart.c_str(), "--dpi", "1200", "--output",
                    target.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait until the temporary file beside the output is being written.
        bool writing = !row.duringWrite;
        if (!row.duringWrite) std::this_thread::sleep_for(std::chrono::seconds(1));
        for (int i = 0; i < 30000 && !writing; ++i) {
            for (const auto& entry : fs::directory_iterator(out.path()))
                if (entry.path().filename().string().rfind(".printed.aucal-", 0) == 0 && fs::file_size(entry.path()) > 0)
                    writing = true;
            if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(writing) << "the write never started";
        ::kill(child, row.signal);
        int raw = 0;
        ::waitpid(child, &raw, 0);
        ASSERT_TRUE(WIFEXITED(raw)) << "killed instead of stopping cleanly";
        EXPECT_EQ(WEXITSTATUS(raw), row.status);
        const auto left = snapshot(out.path());
        ASSERT_EQ(left.size(), 1u) << "a temporary file stayed";
        const std::string kept(left.begin()->second.begin(), left.begin()->second.end());
        EXPECT_EQ(kept, "the print of last week");
    }
}

// Folders in the shared temporary folder that aucal would load a library from.
TEST(PrivateFolder, OnlyAFolderOfOnesOwnThatNoOneElseMayWriteIsUsed) {
    testsupport::TempDir dir;
    const std::string own = dir.file("own"), open = dir.file("open"), link = dir.file("link"), file = dir.file("file");
    fs::create_directory(own);
    fs::permissions(own, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all, fs::perm_options::replace);
    fs::create_directory_symlink(own, link);
    testsupport::writeText(file, "not a folder");
    const struct {
        std::string path;
        bool refused;
    } rows[] = {{dir.file("missing"), false}, {own, false}, {open, true}, {link, true}, {file, true}};
    for (const auto& row : rows) {
        const std::string s = aucal::privateFolderRefusal(row.path, "the folder");
        EXPECT_EQ(!s.empty(), row.refused) << row.path << ": " << s;
        if (row.refused) {
            EXPECT_NE(s.find(row.path + " is not a folder of yours"), std::string::npos) << s;
        }
    }
}

}  // namespace
