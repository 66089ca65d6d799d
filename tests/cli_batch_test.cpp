// vexo-cli over several pictures and folders, end to end: which files a
// folder stands for, the names of the outputs, the summary and its order
// under parallel jobs, failures that must not stop the run, the progress
// line, --help and --version.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/progress_line.h"
#include "cli/summary.h"
#include "cli_harness.h"

namespace vexo {
namespace {

using namespace clitest;
using json = nlohmann::ordered_json;

using Table = std::vector<std::vector<std::string>>;

// An RFC 4180 reader: records end in CR LF, fields in double quotes may hold
// commas, quotes (doubled) and line breaks. Fails the test on anything else.
Table ParseCsv(const std::string& text) {
    Table table;
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quote";
                    return table;
                }
                if (text[i] != '"') {
                    field += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n' && text[i] != '"')
                field += text[i++];
        }
        if (i < text.size() && text[i] == ',') {
            record.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            record.push_back(std::move(field));
            field.clear();
            table.push_back(std::move(record));
            record.clear();
            i += 2;
        } else {
            ADD_FAILURE() << "unexpected byte " << int(text[i]) << " at " << i;
            return table;
        }
    }
    EXPECT_TRUE(record.empty() && field.empty()) << "last record without CR LF";
    return table;
}

std::vector<json> ParseJsonLines(const std::string& text) {
    std::vector<json> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) rows.push_back(json::parse(line));
    return rows;
}

const std::vector<std::string> kColumns = {
    "file",           "loaded", "width", "height",     "source_width", "source_height", "scale",       "operation",
    "horizontal_lines", "vertical_lines", "cells", "grid_found", "errors",     "first_error",   "exit_status", "milliseconds",
    "outcome", "output_error"};

// The value of a column in a row of the table.
const std::string& Cell(const std::vector<std::string>& row, const std::string& column) {
    const auto at = std::find(kColumns.begin(), kColumns.end(), column);
    return row.at(std::size_t(at - kColumns.begin()));
}

// ------------------------------------------------------------------ folders

// A folder of a good, a broken and an empty JPEG beside files that are not
// JPEGs: each JPEG gets a row in name order, the broken ones say why, and
// the run goes on to the end with the status of a picture that failed.
TEST_F(CliTest, FolderGivesItsJpegsInNameOrderAndFailuresGetRows) {
    fs::create_directories(Path("photos/sub"));
    WriteSoftGrid(Path("photos/good.jpg"), 160, 120);
    WriteFile(Path("photos/broken.jpg"), "not a JPEG at all");
    WriteFile(Path("photos/empty.JPEG"), "");
    WriteFile(Path("photos/notes.txt"), "hello");
    WriteFile(Path("photos/._good.jpg"), "shadow file of another system");
    WriteSoftGrid(Path("photos/sub/inner.jpg"), 80, 60);
    fs::create_directories(Path("photos/folder.jpg"));  // a folder is not a picture

    const CliRun flat = Run({Path("photos").string(), "--op", "16", "--out", Path("out").string(), "--summary",
                             Path("out/summary.csv").string()});
    EXPECT_EQ(flat.status, 2) << flat.err;
    const Table table = ParseCsv(ReadFile(Path("out/summary.csv")));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], kColumns);
    const std::string folder = Path("photos").string() + "/";
    EXPECT_EQ(table[1][0], folder + "broken.jpg");
    EXPECT_EQ(table[2][0], folder + "empty.JPEG");
    EXPECT_EQ(table[3][0], folder + "good.jpg");
    for (int row : {1, 2}) {
        EXPECT_EQ(table[row][1], "false");
        EXPECT_EQ(table[row][12], "1");
        EXPECT_EQ(table[row][13].rfind("JPEG error #", 0), 0u) << table[row][13];
        EXPECT_EQ(table[row][14], "2");
        EXPECT_EQ(table[row][16], "");  // no grid search ran
    }
    EXPECT_EQ(table[3][1], "true");
    EXPECT_EQ(table[3][7], "16");
    EXPECT_EQ(table[3][11], "true");
    EXPECT_EQ(table[3][14], "0");
    EXPECT_EQ(table[3][16], "grid found");
    // Every picture has its report; only those with a picture have a PNG.
    EXPECT_TRUE(fs::exists(Path("out/good.png")));
    EXPECT_EQ(json::parse(ReadFile(Path("out/good.json")))["picture"], "good.jpg");
    EXPECT_EQ(json::parse(ReadFile(Path("out/broken.json")))["loaded"], false);
    EXPECT_FALSE(fs::exists(Path("out/broken.png")));

    // Sub-folders only with --recursive, where their name sorts.
    const CliRun deep = Run({Path("photos").string(), "--recursive", "--summary", "-", "--no-progress"});
    const Table rows = ParseCsv(deep.out);
    ASSERT_EQ(rows.size(), 5u) << deep.out;
    EXPECT_EQ(rows[4][0], folder + "sub/inner.jpg");

    // A folder without pictures: a header and nothing else.
    fs::create_directories(Path("none"));
    const CliRun none = Run({Path("none").string(), "--summary", "-"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(ParseCsv(none.out), Table{kColumns});
}

// Names met again get -2, -3, ... in argument order, the same in --out and
// --dump; a name that a suffix produced is not taken twice.
TEST_F(CliTest, ClashingNamesGetNumberedInArgumentOrder) {
    fs::create_directories(Path("a"));
    fs::create_directories(Path("b"));
    const int widths[] = {16, 24, 32, 40};
    const char* files[] = {"a/x.jpg", "b/x.jpg", "b/x.jpeg", "x-2.jpg"};
    std::vector<std::string> arguments;
    for (int i = 0; i < 4; ++i) {
        WriteGrayJpeg(Path(files[i]), widths[i], 8, [](int x, int) { return x * 5; });
        arguments.push_back(Path(files[i]).string());
    }
    arguments.insert(arguments.end(), {"--out", Path("out").string(), "--dump", Path("dump").string()});
    const CliRun run = Run(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const char* names[] = {"x", "x-2", "x-3", "x-2-2"};
    for (int i = 0; i < 4; ++i) {
        const std::string name = names[i];
        EXPECT_EQ(json::parse(ReadFile(Path("out/" + name + ".json")))["width"], widths[i]) << name;
        EXPECT_EQ(json::parse(ReadFile(Path("dump/" + name + "/report.json")))["width"], widths[i]) << name;
        EXPECT_TRUE(fs::exists(Path("out/" + name + ".png"))) << name;
    }
}

// ------------------------------------------------------- parallel and the summary

// Pictures of falling size finish out of order under four jobs; rows and
// reports come out as with one job, and the JSON Lines rows have the keys of
// the CSV columns.
TEST_F(CliTest, FourJobsGiveTheRowsAndReportsOfOne) {
    std::vector<std::string> names, pictures;
    for (int i = 0; i < 10; ++i) {
        names.push_back("p");
        names.back() += std::to_string(i);
        pictures.push_back(Path(names.back() + ".jpg").string());
        WriteSoftGrid(pictures.back(), 400 - 30 * i, 300 - 20 * i);
    }
    auto run = [&](const std::string& jobs, const std::string& out) {
        std::vector<std::string> arguments = pictures;
        arguments.insert(arguments.end(), {"--op", "16", "--jobs", jobs, "--out", Path(out).string(), "--summary",
                                           Path(out + "/rows.jsonl").string()});
        return Run(arguments);
    };
    ASSERT_EQ(run("4", "four").status, 0);
    ASSERT_EQ(run("1", "one").status, 0);

    const std::vector<json> four = ParseJsonLines(ReadFile(Path("four/rows.jsonl")));
    const std::vector<json> one = ParseJsonLines(ReadFile(Path("one/rows.jsonl")));
    ASSERT_EQ(four.size(), pictures.size());
    ASSERT_EQ(one.size(), pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        std::vector<std::string> keys;
        for (auto it = four[i].begin(); it != four[i].end(); ++it) keys.push_back(it.key());
        EXPECT_EQ(keys, kColumns);
        EXPECT_EQ(four[i]["file"], pictures[i]);
        EXPECT_EQ(four[i]["width"], 400 - 30 * int(i));
        json a = four[i], b = one[i];
        a.erase("milliseconds");
        b.erase("milliseconds");
        EXPECT_EQ(a, b) << i;
        const std::string& name = names[i];
        EXPECT_EQ(ReadFile(Path("four/" + name + ".json")), ReadFile(Path("one/" + name + ".json"))) << name;
        EXPECT_EQ(ReadFile(Path("four/" + name + ".png")), ReadFile(Path("one/" + name + ".png"))) << name;
    }
    EXPECT_TRUE(four[0]["grid_found"].get<bool>());
    EXPECT_EQ(four[0]["outcome"], "grid found");
    EXPECT_EQ(four[0]["scale"], "8/8");
}

// File names with commas, quotes and a line break come back whole.
TEST_F(CliTest, SummaryCsvParsesBackWithAwkwardFileNames) {
    const std::vector<std::string> names = {"plain.jpg", "a,b.jpg", "say \"cheese\".jpg", "two\nlines.jpg",
                                            "carriage\rreturn.jpg"};
    std::vector<std::string> arguments;
    for (const std::string& name : names) {
        WriteGrayJpeg(Path(name), 12, 10, [](int, int) { return 100; });
        arguments.push_back(Path(name).string());
    }
    arguments.insert(arguments.end(), {"--summary", Path("s.csv").string()});
    const CliRun run = Run(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    const Table table = ParseCsv(ReadFile(Path("s.csv")));
    ASSERT_EQ(table.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(table[i + 1].size(), kColumns.size());
        EXPECT_EQ(table[i + 1][0], Path(names[i]).string());
        EXPECT_EQ(table[i + 1][2], "12");
        EXPECT_EQ(table[i + 1][7], "");  // no operation ran
    }
}

// An output of one picture that cannot be written fails that picture's row,
// which names the output and why; the run goes on, and a picture that did
// not load outranks it in the exit status.
TEST_F(CliTest, FailedOutputIsNamedInItsRowAndTheRunGoesOn) {
    for (const char* name : {"a.jpg", "b.jpg"}) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    WriteFile(Path("broken.jpg"), "not a JPEG");
    fs::create_directories(Path("out/b.json"));  // a folder where b's report goes
    const CliRun run = Run({Path("a.jpg").string(), Path("broken.jpg").string(), Path("b.jpg").string(), "--out",
                            Path("out").string(), "--summary", Path("s.jsonl").string()});
    EXPECT_EQ(run.status, 2) << run.err;
    const std::vector<json> rows = ParseJsonLines(ReadFile(Path("s.jsonl")));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["exit_status"], 0);
    EXPECT_EQ(rows[0]["output_error"], "");
    EXPECT_EQ(rows[1]["exit_status"], 2);
    EXPECT_EQ(rows[2]["loaded"], true);
    EXPECT_EQ(rows[2]["exit_status"], 4);
    EXPECT_EQ(rows[2]["errors"], 0);
    EXPECT_EQ(rows[2]["output_error"], Path("out/b.json").string() + ": Is a directory");
    EXPECT_TRUE(fs::exists(Path("out/b.png")));
    EXPECT_TRUE(fs::exists(Path("out/a.json")));
}

// An output folder that cannot be written is found before the first picture
// runs: exit 1, the reason, nothing written.
class CliOutputFolderTest : public CliTest, public testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CliOutputFolderTest, RefusedBeforeAnyPictureRuns) {
    WriteFile(Path("blocker"), "a file where a folder should be");
    for (const char* name : {"a.jpg", "b.jpg"}) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    std::vector<std::string> arguments{Path("a.jpg").string(), Path("b.jpg").string(), "--dump", Path("d").string()};
    for (const std::string& a : GetParam()) arguments.push_back(a[0] == '-' ? a : Path(a).string());
    const CliRun run = Run(arguments);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(Path(GetParam().back()).parent_path().string()), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(fs::exists(Path("d")));
}

INSTANTIATE_TEST_SUITE_P(Folders, CliOutputFolderTest,
                         testing::Values(std::vector<std::string>{"--summary", "nodir/s.csv"},
                                         std::vector<std::string>{"--summary", "blocker/s.csv"},
                                         std::vector<std::string>{"--out", "blocker/out/x"}));

// A folder that cannot be read gets a row of its own where its pictures
// would have come, with the reason.
TEST_F(CliTest, UnreadableFolderGetsARow) {
    fs::create_directories(Path("locked"));
    WriteGrayJpeg(Path("locked/hidden.jpg"), 8, 8, [](int, int) { return 50; });
    WriteGrayJpeg(Path("z.jpg"), 8, 8, [](int, int) { return 50; });
    fs::permissions(Path("locked"), fs::perms::none);
    RunSettings settings;
    settings.ordinaryUser = true;
    const CliRun run = Run({Path("locked").string(), Path("z.jpg").string(), "--summary", "-"}, settings);
    fs::permissions(Path("locked"), fs::perms::owner_all);
    EXPECT_EQ(run.status, 2) << run.err;
    const Table table = ParseCsv(run.out);
    ASSERT_EQ(table.size(), 3u) << run.out;
    EXPECT_EQ(Cell(table[1], "file"), Path("locked").string());
    EXPECT_EQ(Cell(table[1], "loaded"), "false");
    EXPECT_EQ(Cell(table[1], "exit_status"), "2");
    EXPECT_NE(Cell(table[1], "first_error").find("Permission denied"), std::string::npos);
    EXPECT_EQ(Cell(table[2], "file"), Path("z.jpg").string());
    EXPECT_EQ(Cell(table[2], "exit_status"), "0");
}

// ------------------------------------------------------------ output names

// NAMEs "." and ".." (pictures "..jpg" and "...jpg") become safe names: no
// output leaves its folder.
TEST_F(CliTest, DotNamesStayInTheirFolders) {
    fs::create_directories(Path("work/photos"));
    for (const char* name : {"..jpg", "...jpg"})
        WriteGrayJpeg(Path("work/photos") / name, 8, 8, [](int, int) { return 50; });
    const CliRun run = Run({Path("work/photos/..jpg").string(), Path("work/photos/...jpg").string(), "--dump",
                            Path("work/dumps").string(), "--out", Path("work/out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> work;
    for (const auto& entry : fs::directory_iterator(Path("work"))) work.push_back(entry.path().filename().string());
    std::sort(work.begin(), work.end());
    EXPECT_EQ(work, (std::vector<std::string>{"dumps", "out", "photos"}));
    std::vector<std::string> pictures;
    for (const auto& entry : fs::directory_iterator(Path("work/dumps"))) {
        ASSERT_TRUE(entry.is_directory()) << entry.path();
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        pictures.push_back(json::parse(ReadFile(entry.path() / "report.json"))["picture"]);
    }
    std::sort(pictures.begin(), pictures.end());
    EXPECT_EQ(pictures, (std::vector<std::string>{"...jpg", "..jpg"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("work/out")), fs::directory_iterator()), 4);
}

// --out and --dump into one folder: picture "a.json.jpg" would get the dump
// folder r/a.json where picture a's report r/a.json goes. The NAMEs are given
// out so that no file meets a folder, in argument order, whatever the jobs.
TEST_F(CliTest, OutAndDumpInOneFolderNeverCollide) {
    const std::vector<std::string> files = {"a.jpg", "a.json.jpg", "b.json.jpg", "b.jpg"};
    std::vector<std::string> pictures;
    for (std::size_t i = 0; i < files.size(); ++i) {
        WriteGrayJpeg(Path(files[i]), 8 + int(i), 8, [](int, int) { return 50; });
        pictures.push_back(Path(files[i]).string());
    }
    std::vector<std::string> listing;
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("jobs ") + jobs);
        fs::remove_all(Path("r"));
        std::vector<std::string> arguments = pictures;
        arguments.insert(arguments.end(), {"--out", Path("r").string(), "--dump", Path("r").string(), "--jobs", jobs});
        const CliRun run = Run(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        for (std::size_t i = 0; i < files.size(); ++i) {
            int found = 0;
            for (const auto& entry : fs::recursive_directory_iterator(Path("r"))) {
                if (entry.path().extension() != ".json" || !entry.is_regular_file()) continue;
                const json report = json::parse(ReadFile(entry.path()));
                found += report["picture"] == files[i] && report["width"] == 8 + int(i);
            }
            EXPECT_EQ(found, 2) << files[i];  // its report in --out and in its dump folder
        }
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Path("r"))) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        if (listing.empty()) listing = names;
        EXPECT_EQ(names, listing);
    }
}

// ----------------------------------------------------------- hostile names

// Names a spreadsheet would run as formulas get a leading ' in the CSV; the
// JSON Lines keep them exact. (A name starting with "-" reads as an option.)
TEST_F(CliTest, FormulaLikeNamesAreDefusedInTheCsvOnly) {
    const std::vector<std::string> names = {"=1+1.jpg", "+SUM(1,2).jpg", "@cmd.jpg", "\tab.jpg", "\rcr.jpg",
                                            "plain=.jpg"};
    std::vector<std::string> arguments = names;
    for (const std::string& name : names) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    RunSettings settings;
    settings.workingDirectory = dir_;  // as the shell passes "*.jpg"
    arguments.insert(arguments.end(), {"--summary", "s.csv"});
    ASSERT_EQ(Run(arguments, settings).status, 0);
    arguments.back() = "s.jsonl";
    ASSERT_EQ(Run(arguments, settings).status, 0);
    const Table table = ParseCsv(ReadFile(Path("s.csv")));
    const std::vector<json> rows = ParseJsonLines(ReadFile(Path("s.jsonl")));
    ASSERT_EQ(table.size(), names.size() + 1);
    ASSERT_EQ(rows.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool defused = names[i] != "plain=.jpg";
        EXPECT_EQ(Cell(table[i + 1], "file"), (defused ? "'" : "") + names[i]);
        EXPECT_EQ(rows[i]["file"], names[i]);
    }
}

// Bytes that are not UTF-8 are written as \xNN in the reports and both
// summaries, so that two such names stay two names and every output stays
// UTF-8.
TEST_F(CliTest, BytesThatAreNotUtf8AreWrittenAsHex) {
    const std::vector<std::string> names = {"\xff\xferaw.jpg", "\xfe\xffraw.jpg", "caf\xc3\xa9.jpg"};
    const std::vector<std::string> shown = {"\\xff\\xferaw.jpg", "\\xfe\\xffraw.jpg", "caf\xc3\xa9.jpg"};
    std::vector<std::string> arguments = names;
    for (const std::string& name : names) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    RunSettings settings;
    settings.workingDirectory = dir_;
    arguments.insert(arguments.end(), {"--out", "out", "--summary", "s.csv"});
    ASSERT_EQ(Run(arguments, settings).status, 0);
    arguments.back() = "s.jsonl";
    ASSERT_EQ(Run(arguments, settings).status, 0);
    const Table table = ParseCsv(ReadFile(Path("s.csv")));
    const std::vector<json> rows = ParseJsonLines(ReadFile(Path("s.jsonl")));
    ASSERT_EQ(table.size(), names.size() + 1);
    ASSERT_EQ(rows.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(Cell(table[i + 1], "file"), shown[i]);
        EXPECT_EQ(rows[i]["file"], shown[i]);
        const std::string stem = names[i].substr(0, names[i].size() - 4);
        const json report = json::parse(ReadFile(Path("out") / (stem + ".json")));
        EXPECT_EQ(report["picture"], shown[i]);
        EXPECT_NE(report["caption"].get<std::string>().find(shown[i]), std::string::npos);
    }
}

// Names a spreadsheet would take for a formula, whatever column they are in.
TEST(SummaryCsvTest, FormulaTriggersGetALeadingQuote) {
    cli::SummaryRow row;
    for (const std::string text : {"=A1", "+1", "-1", "@SUM(A1)", "\tx", "\rx", "=1,2"}) {
        row.file = row.firstError = text;
        const Table table = ParseCsv(cli::CsvRow(row));
        ASSERT_EQ(table.size(), 1u);
        EXPECT_EQ(Cell(table[0], "file"), "'" + text);
        EXPECT_EQ(Cell(table[0], "first_error"), "'" + text);
    }
    row.file = "a=1";
    EXPECT_EQ(Cell(ParseCsv(cli::CsvRow(row))[0], "file"), "a=1");
}

// ----------------------------------------------------------------- progress

// Control characters and bytes that are not UTF-8 in the current file's
// name are shown escaped.
TEST(ProgressLineTest, FileNameIsShownEscaped) {
    using cli::ProgressLine;
    EXPECT_EQ(ProgressLine(0, 2, "a\x1b[2J\n\t\x7f\xff\xc2\x9b.jpg", 1.0, 80),
              "[--------------------] 0/2   0%  --:-- left  a\\e[2J\\n\\t\\x7f\\xff\\xc2\\x9b.jpg");
}

TEST(ProgressLineTest, CountsPercentTimeLeftAndAFileNameThatFits) {
    using cli::ProgressLine;
    EXPECT_EQ(ProgressLine(0, 500, "a.jpg", 3.0, 80), "[--------------------]   0/500   0%  --:-- left  a.jpg");
    // 125 done in 50 s: 0.4 s each, 375 left.
    EXPECT_EQ(ProgressLine(125, 500, "b.jpg", 50.0, 80), "[#####---------------] 125/500  25%  2:30 left  b.jpg");
    EXPECT_EQ(ProgressLine(7, 7, "", 3725.0, 80), "[####################] 7/7 100%  done in 1:02:05");
    // A long name keeps its end and the line stays below the width.
    const std::string name = "photos/" + std::string(100, 'x') + "/IMG_0001.jpg";
    const std::string line = ProgressLine(1, 3, name, 1.0, 70);
    EXPECT_EQ(line.size(), 69u);
    EXPECT_NE(line.find("...x"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 12), "IMG_0001.jpg");
}

// --progress prints the line where standard error is not a terminal;
// --no-progress and --quiet turn it off.
TEST_F(CliTest, ProgressLineOnRequestOnly) {
    for (const char* name : {"a.jpg", "b.jpg"}) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    const std::vector<std::string> pictures = {Path("a.jpg").string(), Path("b.jpg").string(), "--summary",
                                               Path("s.csv").string()};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = pictures;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Run(arguments);
    };
    EXPECT_TRUE(with({}).err.empty());
    EXPECT_NE(with({"--progress"}).err.find("] 2/2 100%  done in "), std::string::npos);
    EXPECT_TRUE(with({"--progress", "--no-progress"}).err.empty());
    EXPECT_TRUE(with({"--progress", "--quiet"}).err.empty());
}

// --------------------------------------------------------------- help, version

TEST_F(CliTest, HelpNamesEveryOptionAndVersionIsOneLine) {
    const CliRun help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.err.empty());
    for (const char* option : {"--op N", "--op N:TEXT", "--shortcut", "--param", "--offset", "--go-on", "--no-go-on",
                               "--go ", "--refresh", "--full-size", "--png", "--json", "--dump", "--quiet",
                               "--recursive", "--out", "--summary", "--jobs", "--progress", "--no-progress",
                               "--help", "--version", "Exit status", "  4  "})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    // Anything after --help is not looked at.
    EXPECT_EQ(Run({"x.jpg", "--help", "--frobnicate"}).status, 0);

    const CliRun version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    // "vexo-cli 0.1 (libjpeg-turbo 2.1.5)": both versions known, one line.
    const std::string& text = version.out;
    const std::size_t open = text.find(" (libjpeg-turbo ");
    ASSERT_NE(open, std::string::npos) << text;
    EXPECT_EQ(text.rfind("vexo-cli ", 0), 0u) << text;
    EXPECT_NE(text.substr(9, open - 9).find_first_of("0123456789"), std::string::npos) << text;
    EXPECT_NE(text.substr(open).find_first_of("0123456789"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    EXPECT_EQ(text.substr(text.size() - 2), ")\n") << text;
}

}  // namespace
}  // namespace vexo
