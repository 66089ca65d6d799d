// vexo-cli over several pictures and folders, end to end: which files a
// folder stands for, the names of the outputs, the summary and its order
// under parallel jobs, failures that must not stop the run, the progress
// line, --help and --version.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/progress_line.h"
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
    "outcome"};

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
    const std::vector<std::string> names = {"plain.jpg", "a,b.jpg", "say \"cheese\".jpg", "two\nlines.jpg"};
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

// An --out that cannot be created: every row tells it, the summary is still
// written, the run ends with 4 and says why once.
TEST_F(CliTest, UnwritableOutFolderFailsEveryRowButNotTheRun) {
    WriteFile(Path("blocker"), "a file where a folder should be");
    for (const char* name : {"a.jpg", "b.jpg"}) WriteGrayJpeg(Path(name), 8, 8, [](int, int) { return 50; });
    const std::string out = Path("blocker/out").string();
    const CliRun run = Run({Path("a.jpg").string(), Path("b.jpg").string(), "--out", out, "--summary",
                            Path("s.jsonl").string()});
    EXPECT_EQ(run.status, 4);
    const std::vector<json> rows = ParseJsonLines(ReadFile(Path("s.jsonl")));
    ASSERT_EQ(rows.size(), 2u);
    for (const json& row : rows) {
        EXPECT_EQ(row["loaded"], true);
        EXPECT_EQ(row["exit_status"], 4);
    }
    std::size_t mentions = 0;
    for (std::size_t at = run.err.find(out); at != std::string::npos; at = run.err.find(out, at + 1)) ++mentions;
    EXPECT_EQ(mentions, 1u) << run.err;
}

// ----------------------------------------------------------------- progress

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
