// The trace log: which records are kept, the file format, the writer.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>

#include "support/trxtestlog.h"

namespace {

constexpr const char* kFacadeFile = "/src/service/nvtrx.cpp";
constexpr const char* kClassFile = "/src/objects/nvtrxlist.cpp";

const char* const kDate = R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
                          R"(\d\d \d\d:\d\d:\d\d \d{4}\r\n)";

class LogFile : public TrxLogTest {
 protected:
  // Starts a writer on a new file, lets `produce` log, and returns the lines.
  template <class Produce>
  std::vector<std::string> Capture(Produce produce) {
    CNVTRXLogFile file;
    EXPECT_EQ(file.Start(m_file.Wide().c_str(), false), 0);
    produce();
    EXPECT_TRUE(file.WaitUntilWritten(10000));
    return m_file.Lines();
  }

  TrxTempFile m_file{"log"};
};

TEST_F(LogFile, LevelOffKeepsErrorsUserRecordsAndTheFacadeOnly) {
  auto lines = Capture([] {
    CNVTRXLogRecord(kClassFile, 1, TRXLOG_TRXTRACE).ReportTrace(OLESTR("class trace"));
    CNVTRXLogRecord(kClassFile, 2, TRXLOG_NWETRACE).ReportTrace(OLESTR("host trace"));
    CNVTRXLogRecord(kClassFile, 3, TRXLOG_TRXERR).ReportTrace(OLESTR("service error"));
    CNVTRXLogRecord(kClassFile, 4, TRXLOG_NWEERR).ReportTrace(OLESTR("host error"));
    CNVTRXLogRecord(kClassFile, 5, TRXLOG_USERTRACE).ReportTrace(OLESTR("user trace"));
    CNVTRXLogRecord(kClassFile, 6, TRXLOG_USERERR).ReportUserError(-1019);
    { CNVTRXLogFunction scope(kClassFile, 7, "HandleAutomationRequest"); }
    { CNVTRXLogFunction scope(kFacadeFile, 8, "Submit"); }
    CNVTRXLogRecord(kFacadeFile, 9, TRXLOG_TRXTRACE).ReportTrace(OLESTR("facade trace"));
  });
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0].rfind("***trxerr***\t service error\t", 0), 0u);
  EXPECT_EQ(lines[1].rfind("***nweerr***\t host error\t", 0), 0u);
  EXPECT_EQ(lines[2].rfind("usertrace\t user trace\t", 0), 0u);
  EXPECT_EQ(lines[3].rfind("***usererr***\t Norvik application is busy.\t", 0), 0u);
  EXPECT_EQ(lines[4].rfind("Submit\t***Entry*** ", 0), 0u);
  EXPECT_EQ(lines[5].rfind("Submit\t***Exit*** ", 0), 0u);
  EXPECT_EQ(lines[6].rfind("trxtrace\t facade trace\t", 0), 0u);
}

TEST_F(LogFile, TrxLogLevelFromTheEnvironment) {
  struct Case {
    const OLECHAR* value;  // nullptr: unset
    bool verbose;
  };
  const Case cases[] = {
      {nullptr, false}, {OLESTR("0"), false}, {OLESTR("2"), true}, {OLESTR("abc"), false}, {OLESTR("-1"), true}};
  for (const Case& c : cases) {
    SetEnvironmentVariableW(OLESTR("TRXLOGLEVEL"), c.value);
    CNVTRXLog::ReadLevelFromEnvironment();
    EXPECT_EQ(CNVTRXLog::IsVerbose(), c.verbose) << (c.value ? TrxNarrow(c.value) : "unset");
  }
  SetEnvironmentVariableW(OLESTR("TRXLOGLEVEL"), nullptr);
}

TEST_F(LogFile, LinesAreUtf16WithTheFixedLayout) {
  CNVTRXLog::SetVerbose(true);
  const LONG depth = CNVTRXLog::GetCallDepth();
  SYSTEMTIME now;
  GetLocalTime(&now);
  auto lines = Capture([] {
    CNVTRXLogFunction outer(kFacadeFile, 120, "Submit");
    {
      CNVTRXLogFunction inner(kClassFile, 33, "GetProperty");
      CNVTRXLogRecord(kClassFile, 40, TRXLOG_USERERR).ReportTrace(OLESTR("tab\there\nand line feed"));
    }
  });
  const std::string d0 = std::to_string(depth), d1 = std::to_string(depth + 1);
  // Exit lines carry the current tick and the elapsed time in parentheses,
  // at the depth of their entry.
  const std::string layouts[] = {
      R"(Submit\t\*\*\*Entry\*\*\* )" + d0 + R"(\t\d+\tnvtrx\.cpp\(120\)\t)",
      R"(GetProperty\t\*\*\*Entry\*\*\* )" + d1 + R"(\t\d+\tnvtrxlist\.cpp\(33\)\t)",
      R"(\*\*\*usererr\*\*\*\t tab here and line feed\t\d+\tnvtrxlist\.cpp\(40\)\t)",
      R"(GetProperty\t\*\*\*Exit\*\*\* )" + d1 + R"(\t\d+\(\d+\)\tnvtrxlist\.cpp\(33\)\t)",
      R"(Submit\t\*\*\*Exit\*\*\* )" + d0 + R"(\t\d+\(\d+\)\tnvtrx\.cpp\(120\)\t)",
  };
  ASSERT_EQ(lines.size(), std::size(layouts));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(layouts[i] + kDate))) << lines[i];
  }
  EXPECT_EQ(CNVTRXLog::GetCallDepth(), depth);
  // The date is the local time of the record.
  const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  EXPECT_NE(lines[0].find(std::string(")\t") + days[now.wDayOfWeek] + " " + months[now.wMonth - 1] + " "),
            std::string::npos);
  EXPECT_NE(lines[0].find(" " + std::to_string(now.wYear) + "\r\n"), std::string::npos);

  const auto bytes = m_file.Bytes();
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4),
            (std::vector<unsigned char>{0xFF, 0xFE, 'S', 0}));
}

TEST_F(LogFile, WithoutWriterTheQueueKeepsTheNewest2500AndWritesThemFirst) {
  for (int i = 0; i < 2600; ++i) CNVTRXLogRecord(kClassFile, i, TRXLOG_USERERR).ReportTrace(OLESTR("n%d"), i);
  // 2500 reached at the 2501st record: the 126 oldest went, then 99 more came.
  EXPECT_EQ(CNVTRXLog::GetQueueLength(), 2474u);
  auto lines = Capture([] { CNVTRXLogRecord(kClassFile, 1, TRXLOG_USERERR).ReportTrace(OLESTR("late")); });
  ASSERT_EQ(lines.size(), 2475u);
  EXPECT_EQ(lines.front().rfind("***usererr***\t n126\t", 0), 0u);
  EXPECT_EQ(lines[2473].rfind("***usererr***\t n2599\t", 0), 0u);
  EXPECT_EQ(lines.back().rfind("***usererr***\t late\t", 0), 0u);
}

TEST_F(LogFile, CreateReplacesAndAppendNeedsAnExistingFileAndWaitsForItToBeFree) {
  CNVTRXLogFile file;
  TrxTempFile missing("missing");
  EXPECT_EQ(file.Start(missing.Wide().c_str(), true), -1);
  EXPECT_FALSE(file.IsRunning());
  EXPECT_FALSE(std::filesystem::exists(missing.Path()));

  CNVTRXLogRecord(kClassFile, 1, TRXLOG_USERERR).ReportTrace(OLESTR("first"));
  ASSERT_EQ(file.Start(m_file.Wide().c_str(), false), 0);
  ASSERT_TRUE(file.WaitUntilWritten(10000));
  file.Stop();
  ASSERT_TRUE(file.WaitUntilStopped(10000));

  // A writer that was just stopped may still be writing its last pass when
  // a tool starts logging to the same file again: here the file is held for
  // a moment elsewhere in the process.
  HANDLE held = CreateFileW(m_file.Wide().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE release = CreateThread(
      nullptr, 0,
      [](LPVOID handle) -> DWORD {
        Sleep(200);
        CloseHandle(static_cast<HANDLE>(handle));
        return 0;
      },
      held, 0, nullptr);
  ASSERT_NE(release, nullptr);
  CNVTRXLogRecord(kClassFile, 2, TRXLOG_USERERR).ReportTrace(OLESTR("second"));
  ASSERT_EQ(file.Start(m_file.Wide().c_str(), true), 0);
  WaitForSingleObject(release, INFINITE);
  CloseHandle(release);
  ASSERT_TRUE(file.WaitUntilWritten(10000));
  auto lines = m_file.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("second"), std::string::npos);
  EXPECT_EQ(m_file.Bytes()[0], 0xFF);

  file.Stop();
  ASSERT_TRUE(file.WaitUntilStopped(10000));
  CNVTRXLogRecord(kClassFile, 3, TRXLOG_USERERR).ReportTrace(OLESTR("third"));
  ASSERT_EQ(file.Start(m_file.Wide().c_str(), false), 0);
  ASSERT_TRUE(file.WaitUntilWritten(10000));
  lines = m_file.Lines();
  ASSERT_EQ(lines.size(), 1u) << "creating again replaces the file";
  EXPECT_NE(lines[0].find("third"), std::string::npos);
}

TEST_F(LogFile, AStartWhileRunningMovesToTheNewFileWithoutLosingOrDoublingRecords) {
  TrxTempFile second("second");
  { std::ofstream create(second.Path()); }
  const uint64_t droppedBefore = CNVTRXLog::GetDroppedCount();
  CNVTRXLogFile file;
  ASSERT_EQ(file.Start(m_file.Wide().c_str(), false), 0);
  std::thread producer([] {
    for (int i = 0; i < 3000; ++i) CNVTRXLogRecord(kClassFile, i, TRXLOG_USERERR).ReportTrace(OLESTR("r%d"), i);
  });
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(file.Start((i % 2 ? m_file : second).Wide().c_str(), true), 0);
  }
  producer.join();
  ASSERT_TRUE(file.WaitUntilWritten(10000));
  file.Stop();
  ASSERT_TRUE(file.WaitUntilStopped(10000));

  std::vector<int> seen(3000, 0);
  for (const TrxTempFile* f : {&m_file, &second})
    for (const std::string& line : f->Lines()) {
      std::smatch m;
      ASSERT_TRUE(std::regex_search(line, m, std::regex("\t r(\\d+)\t"))) << line;
      ++seen[std::stoi(m[1])];
    }
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(seen[i], 1) << "record " << i;
  EXPECT_EQ(CNVTRXLog::GetDroppedCount(), droppedBefore);
}

TEST_F(LogFile, TwoProducersWithAWriterLoseNothing) {
  CNVTRXLog::SetVerbose(true);
  const uint64_t droppedBefore = CNVTRXLog::GetDroppedCount();
  auto lines = Capture([] {
    auto produce = [](int base) {
      for (int i = 0; i < 5000; ++i) {
        CNVTRXLogFunction scope(kClassFile, base + i, "Produce");
        CNVTRXLogRecord(kClassFile, base + i, TRXLOG_TRXTRACE).ReportTrace(OLESTR("p%d"), base + i);
      }
    };
    std::thread a(produce, 0), b(produce, 100000);
    a.join();
    b.join();
  });
  EXPECT_EQ(lines.size(), 30000u);
  EXPECT_EQ(CNVTRXLog::GetDroppedCount(), droppedBefore);
}

}  // namespace
