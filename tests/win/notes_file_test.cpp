#include "toolkit/notes_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <chrono>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/exception.h"
#include "toolkit/program_files.h"
#include "temp_files.h"

namespace {

using namespace std::string_literals;

using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::WriteBytes;

// Every entry of the folder with its bytes ("<dir>" for a folder).
std::map<std::wstring, std::string> Contents(const std::wstring& folder) {
  std::map<std::wstring, std::string> entries;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    entries[name] = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        ? "<dir>"
                        : ReadBytes(folder + name).value_or("<unreadable>");
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

// Names of the form "<notes name>.<reason>-YYYYMMDD-HHMMSS", with an optional "-<n>".
bool IsKeptName(const std::wstring& name, const std::wstring& reason) {
  const std::wstring prefix = L"qorla.txt." + reason + L"-";
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::wstring stamp = name.substr(prefix.size());
  if (stamp.size() < 15 || stamp[8] != L'-') return false;
  for (std::size_t i = 0; i < 15; ++i) {
    if (i != 8 && !iswdigit(stamp[i])) return false;
  }
  return stamp.size() == 15 || (stamp[15] == L'-' && stamp.size() > 16);
}

// The contents of the files kept for `reason`.
std::vector<std::string> Kept(const std::map<std::wstring, std::string>& contents, const std::wstring& reason) {
  std::vector<std::string> kept;
  for (const auto& [name, bytes] : contents) {
    if (IsKeptName(name, reason)) kept.push_back(bytes);
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

std::wstring MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const tk::Exception& e) {
    return e.Message();
  }
  return L"(no error)";
}

// The system's own text for an error code as it stands after other text: without its trailing
// blanks, line breaks and periods.
std::wstring SystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.')) {
    text.pop_back();
  }
  return text;
}

// True when nobody else holds the file open.
bool OpenExclusively(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

class NotesFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 936u) << "the suite runs with the ANSI code page 936 (LC_ALL=zh_CN.UTF-8)";
    ASSERT_TRUE(folder_.Created());
    ASSERT_FALSE(SystemText(ERROR_ACCESS_DENIED).empty());
  }

  std::map<std::wstring, std::string> Folder() const { return Contents(folder_.Path()); }
  void EmptyFolder() const {
    for (const auto& [name, bytes] : Folder()) DeleteFileW((folder_.Path() + name).c_str());
  }

  TempFolder folder_;
  const std::wstring path_ = folder_.Path() + L"qorla.txt";
};

// Suite name as CTest selects it ("ini|notes").
using notes_file = NotesFileTest;

// ---- The file format ----

TEST_F(notes_file, MissingFileLoadsNothingAndTheSaveCreatesIt) {
  tk::NotesFile notes(path_);
  EXPECT_EQ(notes.Load(), std::nullopt);
  EXPECT_TRUE(Folder().empty()) << "loading creates nothing";

  notes.Save(L"行情\r\n提醒");
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "\xD0\xD0\xC7\xE9\r\n\xCC\xE1\xD0\xD1"}}));
}

TEST_F(notes_file, AnsiFileIsReadInCodePage936AndWrittenBackAsItWas) {
  const std::string bytes = "\xD6\xD0\xCE\xC4 abc\r\n\xB1\xCA\xBC\xC7\r\n";  // 中文 abc / 笔记
  ASSERT_TRUE(WriteBytes(path_, bytes));
  tk::NotesFile notes(path_);
  EXPECT_EQ(notes.Load(), L"中文 abc\r\n笔记\r\n");
  notes.Save(L"中文 abc\r\n笔记\r\n");
  EXPECT_EQ(ReadBytes(path_), bytes);
  EXPECT_EQ(Folder().size(), 1u) << "no temporary or kept file stays behind";
}

TEST_F(notes_file, ZeroByteFileLoadsEmptyAndIsWrittenBackAsZeroBytes) {
  ASSERT_TRUE(WriteBytes(path_, ""));
  tk::NotesFile notes(path_);
  EXPECT_EQ(notes.Load(), L"");
  notes.Save(L"");
  EXPECT_EQ(ReadBytes(path_), "");
  EXPECT_EQ(Folder().size(), 1u);
}

TEST_F(notes_file, ByteOrderMarkSelectsTheEncodingAndTheSaveWritesAnsiWithoutMark) {
  struct Case {
    const char* what;
    std::string bytes;
    bool kept;  // the dropped byte is not in the pad: the original is kept aside
  };
  // "中a\r\n文" in each encoding.
  const std::vector<Case> cases = {
      {"UTF-16 LE",
       "\xFF\xFE\x2D\x4E"
       "a\0\r\0\n\0\x87\x65"s,
       false},
      {"UTF-16 BE", "\xFE\xFF\x4E\x2D\0a\0\r\0\n\x65\x87"s, false},
      {"UTF-16 LE, last odd byte dropped",
       "\xFF\xFE\x2D\x4E"
       "a\0\r\0\n\0\x87\x65\x41"s,
       true},
      {"UTF-8",
       "\xEF\xBB\xBF\xE4\xB8\xAD"
       "a\r\n\xE6\x96\x87",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EmptyFolder();
    ASSERT_TRUE(WriteBytes(path_, c.bytes));
    tk::NotesFile notes(path_);
    const std::optional<std::wstring> text = notes.Load();
    EXPECT_EQ(text, L"中a\r\n文");
    notes.Save(text.value_or(L""));
    EXPECT_EQ(ReadBytes(path_), "\xD6\xD0"
                                "a\r\n\xCE\xC4");
    EXPECT_EQ(Kept(Folder(), L"unloaded"), c.kept ? std::vector<std::string>{c.bytes} : std::vector<std::string>{});
    EXPECT_EQ(Folder().size(), c.kept ? 2u : 1u);
  }
}

TEST_F(notes_file, LineBreaksBecomeCrLf) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"LF alone", "one\ntwo\n\nthree"},
      {"CR alone", "one\rtwo\r\rthree"},
      {"mixed", "one\r\ntwo\n\rthree"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path_, c.bytes));
    tk::NotesFile notes(path_);
    const std::optional<std::wstring> text = notes.Load();
    EXPECT_EQ(text, L"one\r\ntwo\r\n\r\nthree");
    notes.Save(text.value_or(L""));
    EXPECT_EQ(ReadBytes(path_), "one\r\ntwo\r\n\r\nthree");
  }
}

TEST_F(notes_file, NothingIsAddedAtTheEnd) {
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), std::nullopt);
  notes.Save(L"first\r\nlast");
  EXPECT_EQ(ReadBytes(path_), "first\r\nlast");
  notes.Save(L"first\r\nlast\r\n");
  EXPECT_EQ(ReadBytes(path_), "first\r\nlast\r\n");
  notes.Save(L"first\r\n\r\n");
  EXPECT_EQ(ReadBytes(path_), "first\r\n\r\n");
}

TEST_F(notes_file, SeveralMegabytesRoundTrip) {
  std::string bytes;
  std::wstring text;
  for (int line = 0; bytes.size() < 6 * 1024 * 1024; ++line) {
    const std::string number = std::to_string(line);
    bytes += number + " \xD6\xD0\xCE\xC4\xB1\xCA\xBC\xC7 gold 1234.56\r\n";
    text += std::wstring(number.begin(), number.end()) + L" 中文笔记 gold 1234.56\r\n";
  }
  ASSERT_TRUE(WriteBytes(path_, bytes));
  tk::NotesFile notes(path_);
  const std::optional<std::wstring> loaded = notes.Load();
  ASSERT_TRUE(loaded.has_value());
  EXPECT_TRUE(*loaded == text) << "loaded " << loaded->size() << " characters, expected " << text.size();
  notes.Save(*loaded);
  EXPECT_TRUE(ReadBytes(path_) == bytes);
  EXPECT_EQ(Folder().size(), 1u);
}

// ---- Failures ----

TEST_F(notes_file, FileOpenForWritingElsewhereCannotBeLoaded) {
  ASSERT_TRUE(WriteBytes(path_, "notes"));
  HANDLE writer = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  tk::NotesFile notes(path_);
  EXPECT_EQ(MessageOf([&] { notes.Load(); }),
            L"Cannot open file \"" + path_ + L"\". " + SystemText(ERROR_SHARING_VIOLATION));
  CloseHandle(writer);
  EXPECT_EQ(ReadBytes(path_), "notes");
}

TEST_F(notes_file, MessagesNameTheFullPath) {
  ASSERT_TRUE(CreateDirectoryW((folder_.Path() + L"sub").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(path_, "\xEF\xBB\xBF\xFF"));
  tk::NotesFile notes(folder_.Path() + L"sub\\..\\qorla.txt");
  EXPECT_EQ(MessageOf([&] { notes.Load(); }),
            L"Cannot open file \"" + path_ + L"\". " + SystemText(ERROR_NO_UNICODE_TRANSLATION));
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(MessageOf([&] { notes.Save(L"text"); }),
            L"Cannot create file \"" + path_ + L"\". " + SystemText(ERROR_ACCESS_DENIED));
}

TEST_F(notes_file, ReadOnlyFileLoadsButIsNotWritten) {
  ASSERT_TRUE(WriteBytes(path_, "keep me"));
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  tk::NotesFile notes(path_);
  EXPECT_EQ(notes.Load(), L"keep me");
  EXPECT_EQ(MessageOf([&] { notes.Save(L"new text"); }),
            L"Cannot create file \"" + path_ + L"\". " + SystemText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "keep me"}}));
  EXPECT_NE(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(notes_file, DirectoryOfThatNameLoadsNothingAndCannotBeSaved) {
  ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
  tk::NotesFile notes(path_);
  EXPECT_EQ(notes.Load(), std::nullopt);
  EXPECT_EQ(MessageOf([&] { notes.Save(L"text"); }),
            L"Cannot create file \"" + path_ + L"\". " + SystemText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "<dir>"}}));
}

TEST_F(notes_file, FileHeldOpenElsewhereIsNotWritten) {
  ASSERT_TRUE(WriteBytes(path_, "old"));
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), L"old");
  HANDLE reader =
      CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(MessageOf([&] { notes.Save(L"new"); }),
            L"Cannot create file \"" + path_ + L"\". " + SystemText(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "old"}}));

  notes.Save(L"new");  // once it is free, the same save goes through
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "new"}}));
}

TEST_F(notes_file, MissingFolderIsReportedForTheNotesFile) {
  const std::wstring nowhere = folder_.Path() + L"missing\\qorla.txt";
  tk::NotesFile notes(nowhere);
  EXPECT_EQ(notes.Load(), std::nullopt);
  EXPECT_EQ(MessageOf([&] { notes.Save(L"text"); }),
            L"Cannot create file \"" + nowhere + L"\". " + SystemText(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(Folder().empty());
}

TEST_F(notes_file, HandleIsClosedAfterEveryLoad) {
  struct Case {
    const char* what;
    std::string bytes;
    bool loads;
  };
  const std::vector<Case> cases = {{"loaded", "text", true}, {"invalid UTF-8", "\xEF\xBB\xBF\xC3", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path_, c.bytes));
    tk::NotesFile notes(path_);
    EXPECT_EQ(MessageOf([&] { notes.Load(); }) == L"(no error)", c.loads);
    EXPECT_TRUE(OpenExclusively(path_));
  }
}

// ---- A failed save leaves the previous notes ----

TEST_F(notes_file, WriteFailingMidwayLeavesThePreviousFileAndNoTemporaryFile) {
  const std::string before = "\xD6\xD0\xCE\xC4 previous notes\r\n";
  struct Case {
    const char* what;
    std::function<DWORD(HANDLE, const char*, DWORD)> disk;
  };
  const std::vector<Case> cases = {
      {"disk full after half the bytes",
       [](HANDLE file, const char* data, DWORD size) {
         DWORD written = 0;
         WriteFile(file, data, size / 2, &written, nullptr);
         return written;
       }},
      {"write refused",
       [](HANDLE, const char*, DWORD) -> DWORD {
         SetLastError(ERROR_DISK_FULL);
         return 0;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path_, before));
    DWORD asked = 0;
    tk::NotesFile notes(path_, [&](HANDLE file, const char* data, DWORD size) {
      asked = size;
      return c.disk(file, data, size);
    });
    ASSERT_EQ(notes.Load(), L"中文 previous notes\r\n");
    const std::string pad = "a longer text that does not fit on the disk";
    EXPECT_EQ(MessageOf([&] { notes.Save(std::wstring(pad.begin(), pad.end())); }), L"Stream write error");
    EXPECT_EQ(asked, pad.size()) << "all bytes are asked for in one write";
    EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", before}}));
  }
}

TEST_F(notes_file, WriteFailingWithNoPreviousFileLeavesNoFile) {
  tk::NotesFile notes(path_, [](HANDLE, const char*, DWORD) -> DWORD { return 0; });
  ASSERT_EQ(notes.Load(), std::nullopt);
  EXPECT_EQ(MessageOf([&] { notes.Save(L"text"); }), L"Stream write error");
  EXPECT_TRUE(Folder().empty());
}

// ---- Notes that were not loaded are kept ----

TEST_F(notes_file, InvalidUtf8IsReportedAndTheFileIsKeptAtTheSave) {
  const std::string bytes = "\xEF\xBB\xBF"
                            "ok \xC3\x28 broken";
  ASSERT_TRUE(WriteBytes(path_, bytes));
  tk::NotesFile notes(path_);
  EXPECT_EQ(MessageOf([&] { notes.Load(); }),
            L"Cannot open file \"" + path_ + L"\". " + SystemText(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(ReadBytes(path_), bytes) << "loading changes nothing";

  notes.Save(L"pad");
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents.at(L"qorla.txt"), "pad");
  EXPECT_EQ(Kept(contents, L"unloaded"), std::vector<std::string>{bytes});
}

TEST_F(notes_file, BytesThatWouldNotComeBackAreShownAndKeptAtTheFirstSave) {
  struct Case {
    const char* what;
    std::string bytes;
    std::wstring shown_start;  // what the pad shows begins so
    std::string saved;         // what the save of the unedited text writes
  };
  const std::vector<Case> cases = {
      // E4 BD is a character of code page 936; A0 0D is not: shown as the UTF-8 it is.
      {"UTF-8 without a mark, a character at a line end", "\xE4\xBD\xA0\r\n", L"你\r\n", "\xC4\xE3\r\n"},
      {"cut after a lead byte", "\xD6\xD0\xCE", L"中", ""},
      {"NUL bytes", "ab\0\0cd\r\nef"s, L"ab  cd\r\nef", "ab  cd\r\nef"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EmptyFolder();
    ASSERT_TRUE(WriteBytes(path_, c.bytes));
    tk::NotesFile notes(path_);
    const std::optional<std::wstring> text = notes.Load();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->compare(0, c.shown_start.size(), c.shown_start), 0) << "shown as " << text->size() << " characters";
    EXPECT_EQ(text->find(L'\0'), std::wstring::npos) << "the pad holds no NUL";

    notes.Save(*text);
    const auto contents = Folder();
    EXPECT_EQ(Kept(contents, L"unloaded"), std::vector<std::string>{c.bytes}) << "the original, byte for byte";
    EXPECT_EQ(contents.size(), 2u);
    if (!c.saved.empty()) {
      EXPECT_EQ(contents.at(L"qorla.txt"), c.saved);
    }
    notes.Save(*text);
    EXPECT_EQ(Folder().size(), 2u) << "the run's own save is not kept again";

    // The next start, on what this run left: its own save comes back whole and is kept nowhere.
    const auto left = Folder();
    tk::NotesFile next_run(path_);
    const std::optional<std::wstring> again = next_run.Load();
    EXPECT_EQ(again, text);
    next_run.Save(again.value_or(L""));
    EXPECT_EQ(Folder(), left) << "a second run keeps nothing more";
  }
}

TEST_F(notes_file, FileThatCouldNotBeOpenedIsKeptAtTheSave) {
  ASSERT_TRUE(WriteBytes(path_, "locked notes"));
  HANDLE writer = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  tk::NotesFile notes(path_);
  EXPECT_NE(MessageOf([&] { notes.Load(); }), L"(no error)");
  CloseHandle(writer);

  notes.Save(L"pad");
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents.at(L"qorla.txt"), "pad");
  EXPECT_EQ(Kept(contents, L"unloaded"), std::vector<std::string>{"locked notes"});
}

TEST_F(notes_file, TextThePadRefusedIsKeptAtTheSave) {
  ASSERT_TRUE(WriteBytes(path_, "too much for the pad"));
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), L"too much for the pad");
  notes.MarkNotLoaded();

  notes.Save(L"initial lines");
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents.at(L"qorla.txt"), "initial lines");
  EXPECT_EQ(Kept(contents, L"unloaded"), std::vector<std::string>{"too much for the pad"});
}

TEST_F(notes_file, KeptFilesNeverReplaceEarlierKeptFiles) {
  // Files kept earlier under the names this save may pick, whatever the second now is.
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME file_time;
  SystemTimeToFileTime(&now, &file_time);
  std::map<std::wstring, std::string> expected;
  for (int second = 0; second < 3; ++second) {
    ULARGE_INTEGER t;
    t.LowPart = file_time.dwLowDateTime;
    t.HighPart = file_time.dwHighDateTime;
    t.QuadPart += second * 10000000ull;
    FILETIME shifted{t.LowPart, t.HighPart};
    SYSTEMTIME s;
    FileTimeToSystemTime(&shifted, &s);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04d%02d%02d-%02d%02d%02d", s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond);
    const std::wstring name = L"qorla.txt.unloaded-" + std::wstring(stamp);
    const std::string earlier = "kept earlier " + std::to_string(second);
    ASSERT_TRUE(WriteBytes(folder_.Path() + name, earlier));
    expected[name] = earlier;
  }
  ASSERT_TRUE(WriteBytes(path_, "\xEF\xBB\xBF\xFF"));
  tk::NotesFile notes(path_);
  EXPECT_NE(MessageOf([&] { notes.Load(); }), L"(no error)");

  notes.Save(L"pad");
  const auto contents = Folder();
  for (const auto& [name, bytes] : expected) {
    ASSERT_EQ(contents.count(name), 1u);
    EXPECT_EQ(contents.at(name), bytes);
  }
  EXPECT_EQ(contents.at(L"qorla.txt"), "pad");
  EXPECT_EQ(contents.size(), 5u);
  std::vector<std::string> all_kept{"\xEF\xBB\xBF\xFF", "kept earlier 0", "kept earlier 1", "kept earlier 2"};
  std::sort(all_kept.begin(), all_kept.end());
  EXPECT_EQ(Kept(contents, L"unloaded"), all_kept);
}

// ---- Notes changed on disk since the load are kept ----

TEST_F(notes_file, SecondCopySavingFirstDoesNotLoseItsNotes) {
  ASSERT_TRUE(WriteBytes(path_, "shared start"));
  tk::NotesFile first(path_);
  tk::NotesFile second(path_);
  ASSERT_EQ(first.Load(), L"shared start");
  ASSERT_EQ(second.Load(), L"shared start");

  second.Save(L"second copy's notes");
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "second copy's notes"}}));

  first.Save(L"first copy's notes");
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents.at(L"qorla.txt"), "first copy's notes");
  EXPECT_EQ(Kept(contents, L"changed"), std::vector<std::string>{"second copy's notes"});
}

TEST_F(notes_file, SaveWaitsForAnotherCopysSaveAndKeepsWhatThatOneWrote) {
  ASSERT_TRUE(WriteBytes(path_, "shared start"));
  tk::NotesFile second(path_);
  ASSERT_EQ(second.Load(), L"shared start");

  // The first copy is between its look at the file and its replace: it holds the lock, and
  // puts its file in place only after the second has begun to save.
  const std::wstring lock_path = path_ + L".lock";
  HANDLE lock =
      CreateFileW(lock_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  std::thread first([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    WriteBytes(path_, "first copy's notes");
    CloseHandle(lock);
  });
  const auto start = std::chrono::steady_clock::now();
  second.Save(L"second copy's notes");
  const auto waited = std::chrono::steady_clock::now() - start;
  first.join();
  EXPECT_GE(waited, std::chrono::milliseconds(300)) << "the save waits for the lock";
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u) << "the lock is gone with the save";
  EXPECT_EQ(contents.at(L"qorla.txt"), "second copy's notes");
  EXPECT_EQ(Kept(contents, L"changed"), std::vector<std::string>{"first copy's notes"});
}

TEST_F(notes_file, LockHeldTooLongFailsTheSaveAndLeavesTheFile) {
  ASSERT_TRUE(WriteBytes(path_, "old"));
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), L"old");
  HANDLE lock = CreateFileW((path_ + L".lock").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MessageOf([&] { notes.Save(L"new"); }),
            L"Cannot create file \"" + path_ + L"\". " + SystemText(ERROR_SHARING_VIOLATION));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2500));
  EXPECT_LT(waited, std::chrono::milliseconds(10000)) << "the wait is bounded";
  CloseHandle(lock);
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "old"}}));
}

TEST_F(notes_file, ChangeOfSameSizeIsSeen) {
  ASSERT_TRUE(WriteBytes(path_, "abc"));
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), L"abc");
  ASSERT_TRUE(WriteBytes(path_, "abd"));

  notes.Save(L"xyz");
  const auto contents = Folder();
  EXPECT_EQ(contents.at(L"qorla.txt"), "xyz");
  EXPECT_EQ(Kept(contents, L"changed"), std::vector<std::string>{"abd"});
}

TEST_F(notes_file, FileAppearingAfterTheLoadFoundNoneIsKept) {
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), std::nullopt);
  ASSERT_TRUE(WriteBytes(path_, "written by another copy"));

  notes.Save(L"initial lines");
  const auto contents = Folder();
  EXPECT_EQ(contents.size(), 2u);
  EXPECT_EQ(contents.at(L"qorla.txt"), "initial lines");
  EXPECT_EQ(Kept(contents, L"changed"), std::vector<std::string>{"written by another copy"});
}

TEST_F(notes_file, NothingIsKeptWhenNothingWouldBeLost) {
  struct Case {
    const char* what;
    std::function<void()> meanwhile;  // what happens on disk between load and save
  };
  const std::vector<Case> cases = {
      {"unchanged", [] {}},
      {"rewritten with the same bytes and a new time", [&] { WriteBytes(path_, "same"); }},
      {"deleted", [&] { DeleteFileW(path_.c_str()); }},
      {"changed to what the save writes", [&] { WriteBytes(path_, "pad text"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteBytes(path_, "same"));
    tk::NotesFile notes(path_);
    ASSERT_EQ(notes.Load(), L"same");
    Sleep(20);
    c.meanwhile();
    notes.Save(L"pad text");
    EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "pad text"}}));
    // The run's own save is not mistaken for a change by another copy.
    notes.Save(L"pad text, saved again");
    EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "pad text, saved again"}}));
  }
}

TEST_F(notes_file, SaveKeepsTheFilesAttributes) {
  ASSERT_TRUE(WriteBytes(path_, "old"));
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_EQ(GetFileAttributesW(path_.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM})
      << "the file system keeps these attributes";
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), L"old");
  notes.Save(L"new");
  EXPECT_EQ(ReadBytes(path_), "new");
  EXPECT_EQ(GetFileAttributesW(path_.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
}

TEST_F(notes_file, FileTooLargeForThePadIsNotLoadedAndKeptAtTheSave) {
  // Sparse: the size is set, no byte is written.
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 64ll * 1024 * 1024 + 1;
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);

  tk::NotesFile notes(path_);
  EXPECT_EQ(MessageOf([&] { notes.Load(); }),
            L"Cannot open file \"" + path_ + L"\". " + SystemText(ERROR_FILE_TOO_LARGE));
  notes.Save(L"initial lines");
  EXPECT_EQ(ReadBytes(path_), "initial lines");
  std::vector<std::wstring> kept;
  for (const auto& [name, bytes] : Folder()) {
    if (IsKeptName(name, L"unloaded")) kept.push_back(name);
  }
  ASSERT_EQ(kept.size(), 1u);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW((folder_.Path() + kept[0]).c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 64u * 1024 * 1024 + 1);
}

// ---- When the notes cannot be written beside the program ----

TEST_F(notes_file, RescueWritesANewFileInTheTemporaryFolderEachTime) {
  wchar_t temp[MAX_PATH + 1];
  const std::wstring folder(temp, GetTempPathW(MAX_PATH + 1, temp));
  tk::NotesFile notes(path_);
  std::vector<std::wstring> rescued;
  rescued.push_back(notes.Rescue(L"买入 2300\r\n"));
  rescued.push_back(notes.Rescue(L"金价 \U0001F600"));
  for (const std::wstring& path : rescued) {
    const std::wstring name = path.substr(folder.size());
    EXPECT_EQ(path.substr(0, folder.size()), folder) << "in the temporary folder";
    EXPECT_TRUE(IsKeptName(name, L"rescued")) << std::string(name.begin(), name.end());
  }
  EXPECT_NE(rescued[0], rescued[1]) << "the second rescue does not replace the first";
  EXPECT_EQ(ReadBytes(rescued[0]), "\xC2\xF2\xC8\xEB 2300\r\n") << "in the code page, as a save writes it";
  EXPECT_EQ(ReadBytes(rescued[1]), "\xEF\xBB\xBF\xE9\x87\x91\xE4\xBB\xB7 \xF0\x9F\x98\x80");
  EXPECT_EQ(tk::NotesFile(rescued[1]).Load(), L"金价 \U0001F600") << "the next run could load it";
  EXPECT_TRUE(Folder().empty()) << "nothing beside the notes file";
  for (const std::wstring& path : rescued) DeleteFileW(path.c_str());

  tk::NotesFile full_disk(path_, [](HANDLE, const char*, DWORD) -> DWORD { return 0; });
  std::wstring failed_path;
  EXPECT_EQ(MessageOf([&] { failed_path = full_disk.Rescue(L"text"); }), L"Stream write error");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"qorla.txt.rescued-*").c_str(), &data);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a rescue that failed leaves no file";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(notes_file, OutOfMemoryDuringTheSaveLeavesTheFileAndIsToldInWords) {
  ASSERT_TRUE(WriteBytes(path_, "old"));
  tk::NotesFile notes(path_, [](HANDLE, const char*, DWORD) -> DWORD { throw std::bad_alloc(); });
  ASSERT_EQ(notes.Load(), L"old");
  std::wstring message;
  try {
    notes.Save(L"new");
  } catch (...) {
    message = tk::CurrentExceptionMessage();
  }
  EXPECT_EQ(message, L"Out of memory");
  EXPECT_EQ(Folder(), (std::map<std::wstring, std::string>{{L"qorla.txt", "old"}}));
}

// ---- Characters the code page cannot hold ----

TEST_F(notes_file, TextTheCodePageHoldsIsSavedInItWithoutMark) {
  tk::NotesFile notes(path_);
  ASSERT_EQ(notes.Load(), std::nullopt);
  notes.Save(L"café € 中");  // code page 936 holds é and € too
  EXPECT_EQ(ReadBytes(path_), "caf\xA8\xA6 \x80 \xD6\xD0");
}

TEST_F(notes_file, TextOutsideTheCodePageIsSavedAsUtf8AndLoadsBack) {
  struct Case {
    const char* what;
    std::wstring text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"emoji", L"金价 \U0001F600\r\n", "\xEF\xBB\xBF\xE9\x87\x91\xE4\xBB\xB7 \xF0\x9F\x98\x80\r\n"},
      {"Hangul", L"한", "\xEF\xBB\xBF\xED\x95\x9C"},
      {"a-umlaut, which code page 936 lacks", L"\u00E4", "\xEF\xBB\xBF\xC3\xA4"},
      // In code page 936 these two are EF BB BF AA: they would read back as a broken UTF-8 mark.
      {"ANSI bytes that begin like a mark", L"锘开", "\xEF\xBB\xBF\xE9\x94\x98\xE5\xBC\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(path_.c_str());
    tk::NotesFile writer(path_);
    ASSERT_EQ(writer.Load(), std::nullopt);
    writer.Save(c.text);
    EXPECT_EQ(ReadBytes(path_), c.bytes);

    tk::NotesFile reader(path_);
    EXPECT_EQ(reader.Load(), c.text);
  }
}

}  // namespace
