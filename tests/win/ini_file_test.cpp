#include "toolkit/ini_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/exception.h"
#include "toolkit/program_files.h"
#include "temp_files.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::WriteBytes;

std::wstring MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const tk::Exception& e) {
    return e.Message();
  }
  return L"(no error)";
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 936u) << "the suite runs with the ANSI code page 936 (LC_ALL=zh_CN.UTF-8)";
    ASSERT_TRUE(folder_.Created());
  }

  TempFolder folder_;
  const std::wstring path_ = folder_.Path() + L"GoldCfg.ini";
};

// Suite name as CTest selects it ("ini|notes").
using ini_file = IniFileTest;

TEST_F(ini_file, CreatingReadingAndReleasingTouchNoFile) {
  {
    tk::TIniFile ini(path_);
    EXPECT_FALSE(ini.ReadBool(L"ShowForm", L"Show", false));
    EXPECT_TRUE(ini.ReadBool(L"ShowForm", L"Show", true));
  }
  EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ini_file, NewFileHoldsExactlyTheSectionAndTheKey) {
  for (const bool value : {true, false}) {
    SCOPED_TRACE(value);
    DeleteFileW(path_.c_str());
    const std::string expected = std::string("[ShowForm]\r\nShow=") + (value ? "1" : "0") + "\r\n";
    {
      tk::TIniFile ini(path_);
      ini.WriteBool(L"ShowForm", L"Show", value);
      EXPECT_EQ(ReadBytes(path_), expected) << "written at once, before the release";
      EXPECT_EQ(ini.ReadBool(L"ShowForm", L"Show", !value), value);
    }
    EXPECT_EQ(ReadBytes(path_), expected) << "after the release";
  }
}

TEST_F(ini_file, ValuesReadAsIntegers) {
  struct Case {
    const char* value;  // as it stands after "Show=" in the file
    bool with_default_false;
    bool with_default_true;
  };
  const std::vector<Case> cases = {
      {"1", true, true},
      {"2", true, true},
      {"-1", true, true},
      {"+3", true, true},
      {"0x10", true, true},
      {"0X1f", true, true},
      {"$10", true, true},
      {"x7", true, true},
      {" 7", true, true},      // the platform drops the blank itself
      {"\" 7\"", true, true},  // quoted, the blank reaches the integer rule
      {"0xFFFFFFFF", true, true},
      {"2147483647", true, true},
      {"-2147483648", true, true},
      {"0", false, false},
      {"00", false, false},
      {"-0", false, false},
      {"0x0", false, false},
      {"true", false, true},
      {"yes", false, true},
      {"0x", false, true},
      {"1.5", false, true},
      {"", false, true},
      {"2147483648", false, true},
      {"-2147483649", false, true},
      {"0x100000000", false, true},
      {"1 2", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("Show=") + c.value);
    ASSERT_TRUE(WriteBytes(path_, std::string("[ShowForm]\r\nShow=") + c.value + "\r\n"));
    tk::TIniFile ini(path_);
    EXPECT_EQ(ini.ReadBool(L"ShowForm", L"Show", false), c.with_default_false);
    EXPECT_EQ(ini.ReadBool(L"ShowForm", L"Show", true), c.with_default_true);
  }
}

TEST_F(ini_file, MissingSectionOrKeyGivesTheDefault) {
  for (const std::string content : {"[Other]\r\nShow=1\r\n", "[ShowForm]\r\nShown=1\r\n", ""}) {
    SCOPED_TRACE(content);
    ASSERT_TRUE(WriteBytes(path_, content));
    tk::TIniFile ini(path_);
    EXPECT_FALSE(ini.ReadBool(L"ShowForm", L"Show", false));
    EXPECT_TRUE(ini.ReadBool(L"ShowForm", L"Show", true));
  }
}

TEST_F(ini_file, NamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(WriteBytes(path_, "[showform]\r\nSHOW=1\r\n"));
  tk::TIniFile ini(path_);
  EXPECT_TRUE(ini.ReadBool(L"ShowForm", L"Show", false));

  ini.WriteBool(L"ShowForm", L"Show", false);
  EXPECT_EQ(ReadBytes(path_), "[showform]\r\nSHOW=0\r\n") << "the value changes in place";
}

TEST_F(ini_file, WriteKeepsOtherSectionsAndKeys) {
  struct Case {
    const char* what;
    std::string before;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"value replaced", "[Other]\r\na=1\r\n[ShowForm]\r\nX=y\r\nShow=0\r\n; note\r\n[Last]\r\nb=2\r\n",
       "[Other]\r\na=1\r\n[ShowForm]\r\nX=y\r\nShow=1\r\n; note\r\n[Last]\r\nb=2\r\n"},
      {"section added", "[Other]\r\na=1\r\n", "[Other]\r\na=1\r\n[ShowForm]\r\nShow=1\r\n"},
      {"key added to its section", "[ShowForm]\r\nX=y\r\n[Other]\r\na=1\r\n",
       "[ShowForm]\r\nX=y\r\nShow=1\r\n[Other]\r\na=1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path_, c.before));
    {
      tk::TIniFile ini(path_);
      ini.WriteBool(L"ShowForm", L"Show", true);
    }
    EXPECT_EQ(ReadBytes(path_), c.after);
  }
}

TEST_F(ini_file, FailedWriteReportsThePathAndChangesNothing) {
  const std::string before = "[ShowForm]\r\nShow=0\r\n";
  const std::wstring expected = L"Unable to write to " + path_;

  {
    SCOPED_TRACE("read-only file");
    ASSERT_TRUE(WriteBytes(path_, before));
    ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    tk::TIniFile ini(path_);
    EXPECT_EQ(MessageOf([&] { ini.WriteBool(L"ShowForm", L"Show", true); }), expected);
    EXPECT_EQ(ReadBytes(path_), before);
    // The object stays usable: once the file may be written, the same call succeeds.
    ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL));
    ini.WriteBool(L"ShowForm", L"Show", true);
    EXPECT_EQ(ReadBytes(path_), "[ShowForm]\r\nShow=1\r\n");
  }
  {
    SCOPED_TRACE("held open by another program without sharing");
    ASSERT_TRUE(WriteBytes(path_, before));
    HANDLE other = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    tk::TIniFile ini(path_);
    EXPECT_EQ(MessageOf([&] { ini.WriteBool(L"ShowForm", L"Show", true); }), expected);
    CloseHandle(other);
    EXPECT_EQ(ReadBytes(path_), before);
  }
  {
    SCOPED_TRACE("a directory of that name");
    ASSERT_TRUE(DeleteFileW(path_.c_str()));
    ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
    tk::TIniFile ini(path_);
    EXPECT_EQ(MessageOf([&] { ini.WriteBool(L"ShowForm", L"Show", false); }), expected);
    EXPECT_EQ(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_TRUE(RemoveDirectoryW(path_.c_str()));
  }
  {
    SCOPED_TRACE("folder missing");
    const std::wstring nowhere = folder_.Path() + L"missing\\GoldCfg.ini";
    tk::TIniFile ini(nowhere);
    EXPECT_EQ(MessageOf([&] { ini.WriteBool(L"ShowForm", L"Show", true); }), L"Unable to write to " + nowhere);
    EXPECT_EQ(GetFileAttributesW((folder_.Path() + L"missing").c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

TEST_F(ini_file, ProgramDirectoryIsTheRunningProgramsFolder) {
  wchar_t image[MAX_PATH * 4];
  DWORD length = MAX_PATH * 4;
  ASSERT_TRUE(QueryFullProcessImageNameW(GetCurrentProcess(), 0, image, &length));
  const std::wstring exe(image, length);
  const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\") + 1);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(tk::ProgramDirectory(), folder);
}

}  // namespace
