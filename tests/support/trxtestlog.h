// Test support: a current last-error record, a clean log queue and a log
// file in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "log/nvtrxlog.h"
#include "log/nvtrxlasterror.h"

// Makes a last-error record current and starts every test with an empty
// queue and the level switch off.
class TrxLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CNVTRXLog::SetVerbose(false);
    CNVTRXLog::DiscardQueue();
    m_lastError.MakeCurrent();
  }
  void TearDown() override {
    m_lastError.Release();
    CNVTRXLog::SetVerbose(false);
    CNVTRXLog::DiscardQueue();
  }

  LONG LastCode() const { return m_lastError.GetCode(); }
  std::string LastText() const { return TrxNarrow(m_lastError.GetText()); }

  CNVTRXLastError m_lastError;
};

// A fresh path in the temporary folder, removed at the end of the test.
class TrxTempFile {
 public:
  explicit TrxTempFile(const std::string& stem);
  ~TrxTempFile();
  const std::filesystem::path& Path() const { return m_path; }
  TrxString Wide() const { return TrxWiden(m_path.string()); }
  // The raw bytes of the file; empty when it does not exist.
  std::vector<unsigned char> Bytes() const;
  // The file decoded as UTF-16 little-endian (byte-order mark dropped) and
  // converted to UTF-8, then split into lines ending in "\r\n" (which are
  // kept).
  std::vector<std::string> Lines() const;

 private:
  std::filesystem::path m_path;
};
