// The diagnostic log's two line forms, written through the library's own writers
// into a real log.txt.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <regex>

#include "src/log.h"
#include "testing.h"

namespace {

class LogFileTest : public testing::Test {
 protected:
  // One log per process, as in the library: opened once for the whole suite.
  static void SetUpTestSuite()
  {
    dir_ = new TempDir;
    cwd_ = new CurrentDirectory(dir_->path());
    WriteFileBytes(*dir_ / "log.txt", "left over from an earlier run\r\n");
    ASSERT_TRUE(StartLog(timeGetTime()));
  }
  static void TearDownTestSuite()
  {
    CloseLog();
    delete cwd_;
    delete dir_;
  }
  void SetUp() override { seen_ = ReadFileBytes(*dir_ / "log.txt").size(); }
  void TearDown() override { SetLogEnabled(true); }

  // What the log file gained since the test began.
  std::string NewBytes()
  {
    const std::string all = ReadFileBytes(*dir_ / "log.txt");
    return all.substr(std::min(seen_, all.size()));
  }

  static TempDir* dir_;
  static CurrentDirectory* cwd_;
  size_t seen_ = 0;
};
TempDir* LogFileTest::dir_;
CurrentDirectory* LogFileTest::cwd_;

TEST_F(LogFileTest, OpeningEmptiedTheOldFile)
{
  EXPECT_EQ(ReadFileBytes(*dir_ / "log.txt").find("left over"), std::string::npos);
}

TEST_F(LogFileTest, TimeStampedLineHasElapsedMessageTagLineAndTrailingBlank)
{
  SetLogStartTime(timeGetTime());
  WriteLogLine(LogPoints::WindowProc);
  std::smatch m;
  const std::string bytes = NewBytes();
  ASSERT_TRUE(std::regex_match(bytes, m, std::regex(R"((\d+): WindowProc \.\\menu\.cpp 38 \r\n)")))
      << bytes;
  EXPECT_LT(std::stoul(m[1]), 5000u);
}

TEST_F(LogFileTest, TimeStampedLineCarriesASignedValueAfterTheMessage)
{
  WriteLogLine(LogPoints::AddWidth, -5);
  WriteLogLine(LogPoints::AddHeight, 2147483647);
  EXPECT_EQ(LogEntries(NewBytes()),
            (std::vector<std::string>{"WindowResizeAddWidth = -5 .\\d3d9.cpp 59 ",
                                      "WindowResizeAddHeight = 2147483647 .\\d3d9.cpp 60 "}));
}

TEST_F(LogFileTest, ElapsedTimeIsUnsignedAndWrapsAfter2To32Milliseconds)
{
  // A start time "in the future" is one taken just before the 32-bit clock wrapped.
  SetLogStartTime(timeGetTime() + 1000);
  WriteLogLine(LogPoints::Present);
  const std::string bytes = NewBytes();
  const unsigned long long elapsed = std::stoull(bytes.substr(0, bytes.find(':')));
  EXPECT_GE(elapsed, 4294967296ull - 1000);
  EXPECT_LT(elapsed, 4294967296ull);
  SetLogStartTime(timeGetTime());
}

struct LabelCase {
  const char* name;
  void (*write)();
  const char* expected;
};

const LabelCase LabelCases[] = {
    {"signed -1", [] { WriteLogLabel("Format = ", int32_t(-1)); }, "Format = -1\r\n"},
    {"same bits unsigned", [] { WriteLogLabel("Width = ", uint32_t(0xFFFFFFFF)); },
     "Width = 4294967295\r\n"},
    {"zero", [] { WriteLogLabel("dwItemData = ", uint32_t(0)); }, "dwItemData = 0\r\n"},
    {"text value", [] { WriteLogLabel("path = ", "C:\\windows\\system32\\d3d9.dll"); },
     "path = C:\\windows\\system32\\d3d9.dll\r\n"},
    {"text alone", [] { WriteLogLabel("h_d3d9 == hModule"); }, "h_d3d9 == hModule\r\n"},
    {"several pieces",
     [] { WriteLogLabel("Init dwItemData = ", uint32_t(1234), " Plugin name = ", "Nearest 2x"); },
     "Init dwItemData = 1234 Plugin name = Nearest 2x\r\n"},
#ifdef _WIN64
    {"x86_64: 47-bit address", [] { WriteLogLabel("PresentNew = ", uintptr_t(0x7FFFFFFFFFFFull)); },
     "PresentNew = 140737488355327\r\n"},
#else
    {"i686: address above 2 GiB", [] { WriteLogLabel("PresentNew = ", uintptr_t(0xFFFF0000u)); },
     "PresentNew = 4294901760\r\n"},
#endif
};

TEST_F(LogFileTest, LabelLinesPrintEachValueBareAndEndWithTheLineBreak)
{
  for (const LabelCase& c : LabelCases) {
    const size_t before = ReadFileBytes(*dir_ / "log.txt").size();
    c.write();
    EXPECT_EQ(ReadFileBytes(*dir_ / "log.txt").substr(before), c.expected) << c.name;
  }
}

TEST_F(LogFileTest, NothingIsWrittenWhileTheLogIsOff)
{
  SetLogEnabled(false);
  WriteLogLine(LogPoints::Present);
  WriteLogLine(LogPoints::AddWidth, 3);
  WriteLogLabel("Width = ", uint32_t(640));
  WriteLogLabel("h_d3d9 == hModule");
  EXPECT_EQ(NewBytes(), "");
}

TEST_F(LogFileTest, OpeningAgainNeitherReopensNorEmptiesTheFile)
{
  WriteLogLabel("kept");
  EXPECT_TRUE(StartLog(timeGetTime()));
  EXPECT_EQ(NewBytes(), "kept\r\n");
}

// Runs last: the log is closed for the rest of the process.
TEST_F(LogFileTest, AfterCloseLogLaterLinesAreLostAndTheFileIsNeverReopened)
{
  WriteLogLabel("Direct3DCreate9Org == NULL");
  CloseLog();
  WriteLogLine(LogPoints::Create9);
  WriteLogLabel("path = ", "x");
  EXPECT_TRUE(LogEnabled());
  EXPECT_FALSE(StartLog(timeGetTime()));
  WriteLogLabel("after reopening");
  EXPECT_EQ(NewBytes(), "Direct3DCreate9Org == NULL\r\n");
}

}  // namespace
