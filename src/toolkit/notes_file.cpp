#include "toolkit/notes_file.h"

#include <climits>

#include "core/notes_text.h"
#include "toolkit/exception.h"
#include "toolkit/handles.h"
#include "toolkit/text.h"

namespace tk {
namespace {

// The largest notes file the pad takes. The edit control itself sets no limit, but every step
// from the file to the pad and back holds the text once more (the bytes, the decoded text, the
// control's own copy, the save's copy and its encoding: about ten bytes for every byte of the
// file), and the 32-bit program has 2 GB of address space for all of them. A file beyond this
// could not come back whole, so it is not loaded and the first save keeps it aside.
constexpr std::uint64_t kLargestNotesFile = 64ull * 1024 * 1024;

// How long a save waits for another copy of the program to finish its own.
constexpr DWORD kLockWaitMs = 3000;

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

Exception OpenFailure(const std::wstring& path, DWORD code) {
  return Exception(L"Cannot open file \"" + FullPath(path) + L"\". " + SystemErrorText(code));
}

Exception CreateFailure(const std::wstring& path, DWORD code) {
  return Exception(L"Cannot create file \"" + FullPath(path) + L"\". " + SystemErrorText(code));
}

// FNV-1a, 64 bits, fed piece by piece.
class Hasher {
 public:
  void Add(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      hash_ = (hash_ ^ static_cast<unsigned char>(data[i])) * 0x100000001B3ull;
    }
    size_ += size;
  }
  std::uint64_t Hash() const { return hash_; }
  std::uint64_t Size() const { return size_; }

 private:
  std::uint64_t hash_ = 0xCBF29CE484222325ull;
  std::uint64_t size_ = 0;
};

std::u16string AnsiToUtf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return ToU16(text);
}

std::optional<std::u16string> AnsiToUtf16Strictly(std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), length) != length) {
    return std::nullopt;
  }
  return ToU16(text);
}

std::string Utf16ToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

const core::AnsiCodePage& SystemAnsi() {
  static const core::AnsiCodePage ansi{AnsiToUtf16Strictly, AnsiToUtf16,
                                       [](std::u16string_view text) { return Utf16ToAnsi(ToWide(text)); }};
  return ansi;
}

// ANSI when the next load gives the pad's text back exactly, else UTF-8 with its mark. Reading
// back through the load rule itself also catches ANSI bytes that happen to begin like a mark
// ("锘" is EF BB in code page 936).
std::string EncodeForFile(std::wstring_view text) {
  const std::u16string pad = ToU16(text);
  std::string ansi = Utf16ToAnsi(text);
  const std::optional<core::NotesForPad> back = core::NotesFileForPad(ansi, SystemAnsi());
  if (back && back->exact && back->text == core::NormalizeLineBreaks(pad)) return ansi;
  return core::EncodeUtf8WithBom(pad);
}

// True only for an existing file that is not a directory. The attributes of a file that another
// program holds open may be unreadable; its directory entry still tells.
bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
    return false;
  }
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Digits(unsigned value, std::size_t width) {
  std::wstring text = std::to_wstring(value);
  return std::wstring(text.size() < width ? width - text.size() : 0, L'0') + text;
}

// Local time as YYYYMMDD-HHMMSS, the way the user reads the folder.
std::wstring Timestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return Digits(now.wYear, 4) + Digits(now.wMonth, 2) + Digits(now.wDay, 2) + L"-" + Digits(now.wHour, 2) +
         Digits(now.wMinute, 2) + Digits(now.wSecond, 2);
}

bool AlreadyExists(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// Makes the new file "<stem><suffix>", or "<stem>-2<suffix>", "-3"... while those exist: a file
// that is there is never opened. `made` is the name of the last try; without a file, `error` says
// why it failed (a refusal other than "exists", or the thousandth name taken as well).
UniqueFile CreateNewNumbered(const std::wstring& stem, const wchar_t* suffix, DWORD access, std::wstring& made,
                             DWORD& error) {
  for (unsigned n = 1;; ++n) {
    made = stem + (n == 1 ? L"" : L"-" + std::to_wstring(n)) + suffix;
    UniqueFile file(CreateFileW(made.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
    error = GetLastError();
    if (!AlreadyExists(error) || n == 1000) return file;
  }
}

// The new text on its way: a file next to the notes file, removed again unless it took the
// notes file's place.
class TemporaryFile {
 public:
  // Beside `target`, the file the notes path leads to; failures name the notes file.
  TemporaryFile(const std::wstring& target, const std::wstring& notes_path) {
    std::wstring made;
    DWORD error = 0;
    file_ = CreateNewNumbered(target + L"." + std::to_wstring(GetCurrentProcessId()), L".tmp",
                              GENERIC_READ | GENERIC_WRITE, made, error);
    // The folder's own refusal is what creating the notes file itself would meet.
    if (!file_) throw CreateFailure(notes_path, error);
    path_ = std::move(made);
  }
  ~TemporaryFile() {
    file_.reset();
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  HANDLE Handle() const { return file_.get(); }
  const std::wstring& Path() const { return path_; }
  void Close() { file_.reset(); }
  void Committed() { path_.clear(); }

 private:
  UniqueFile file_;
  std::wstring path_;
};

DWORD WriteWithWriteFile(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  if (!WriteFile(file, data, size, &written, nullptr)) return 0;
  return written;
}

// The hash of what lies at the path now; nothing when no file is there. Fails with the create
// failure before anything is written when the file may not be replaced, so that the report
// names the notes file and the reason the system gives for it.
std::optional<Hasher> HashFileToReplace(const std::wstring& path, const std::wstring& notes_path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    throw CreateFailure(notes_path, error);
  }
  // Renaming over a read-only file succeeds where the attribute is not enforced (Wine run as
  // root); Windows refuses to create over it, and so does this.
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    throw CreateFailure(notes_path, ERROR_ACCESS_DENIED);
  }
  // Opened as creating it would open it: another program holding it open makes this fail.
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    throw CreateFailure(notes_path, error);
  }
  Hasher hasher;
  std::string chunk(64 * 1024, '\0');
  DWORD read = 0;
  while (ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
    hasher.Add(chunk.data(), read);
  }
  return hasher;
}

// Renames the notes file to "<path>.<reason>-YYYYMMDD-HHMMSS[-n]" and returns that name; empty
// when the file has gone meanwhile.
std::wstring KeepAside(const std::wstring& path, const wchar_t* reason) {
  const std::wstring stem = path + L"." + reason + L"-" + Timestamp();
  for (unsigned n = 1;; ++n) {
    std::wstring candidate = stem + (n == 1 ? L"" : L"-" + std::to_wstring(n));
    // No MOVEFILE_REPLACE_EXISTING: an earlier kept file is never replaced.
    if (MoveFileExW(path.c_str(), candidate.c_str(), MOVEFILE_WRITE_THROUGH)) return candidate;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (!AlreadyExists(error) || n == 1000) throw CreateFailure(candidate, error);
  }
}

// The file that writing the path reaches: where the notes file is a link, the file it leads to,
// so that the save replaces that file and leaves the link in place, as editors do. The path
// itself when nothing is there yet or the name is a folder's.
std::wstring FileBehind(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return path;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return path;
  }
  const DWORD needed = GetFinalPathNameByHandleW(file.get(), nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (needed == 0) return path;
  std::wstring final_path(needed, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file.get(), final_path.data(), needed, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= needed) return path;
  final_path.resize(length);
  // "\\?\C:\..." and "\\?\UNC\server\..." back to the forms every other call takes.
  if (final_path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + final_path.substr(8);
  if (final_path.compare(0, 4, L"\\\\?\\") == 0) return final_path.substr(4);
  return final_path;
}

// Held by a save from its look at the file on disk until the new file has taken its place, so
// that two copies of the program ending together cannot both find the file they loaded and
// replace each other's notes unseen: the second waits, then finds the first one's file and keeps
// it aside. The lock lies beside the file that is replaced, so copies that reach one file through
// different links still meet: "<target>.lock", open without sharing and gone once closed.
// Failures name the notes file.
class SaveLock {
 public:
  SaveLock(const std::wstring& target, const std::wstring& notes_path) {
    const std::wstring lock_path = target + L".lock";
    const DWORD start = GetTickCount();
    for (;;) {
      file_.reset(CreateFileW(lock_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
      if (file_) return;
      const DWORD error = GetLastError();
      // Another save holds it, or has just let go of it and the file is on its way out.
      const bool held = error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && IsExistingFile(lock_path));
      // The folder's own refusal is what creating the notes file itself would meet.
      if (!held) throw CreateFailure(notes_path, error);
      if (GetTickCount() - start >= kLockWaitMs) throw CreateFailure(notes_path, ERROR_SHARING_VIOLATION);
      Sleep(50);
    }
  }

 private:
  UniqueFile file_;
};

// The new file takes the notes file's place. Over an existing file ReplaceFileW keeps what the
// system keeps of a replaced file (its security, its creation time); the attributes the user
// gave the file are set on the new one first, since not every system carries them over.
// Returns the system's error code, zero on success.
DWORD PutInPlace(const std::wstring& temporary, const std::wstring& target, DWORD attributes, bool replace) {
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    SetFileAttributesW(temporary.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
  }
  if (replace &&
      ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return 0;
  }
  // Nothing to replace (it is kept aside, or there was none), or the replace failed: refused
  // outright, or after it had taken the old file out of the way, which leaves the name free.
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return GetLastError();
}

// "<folder>\<notes name>.rescued-YYYYMMDD-HHMMSS[-n]" in the user's temporary folder, made new.
std::wstring RescuePath(const std::wstring& notes_path, UniqueFile& file) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    throw Exception(L"Cannot find the temporary folder. " +
                    SystemErrorText(length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW));
  }
  const std::size_t slash = notes_path.find_last_of(L"\\/:");
  const std::wstring name = slash == std::wstring::npos ? notes_path : notes_path.substr(slash + 1);
  // Made new: an earlier rescued file is never replaced.
  std::wstring made;
  DWORD error = 0;
  file = CreateNewNumbered(std::wstring(folder, length) + name + L".rescued-" + Timestamp(), L"", GENERIC_WRITE, made,
                           error);
  if (!file) throw CreateFailure(made, error);
  return made;
}

}  // namespace

NotesFile::NotesFile(std::wstring path, Writer writer)
    : path_(std::move(path)), writer_(writer ? std::move(writer) : Writer(WriteWithWriteFile)) {}

std::optional<std::wstring> NotesFile::Load() {
  if (!IsExistingFile(path_)) {
    seen_ = Seen::kMissing;
    return std::nullopt;
  }
  seen_ = Seen::kUnknown;
  UniqueFile file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw OpenFailure(path_, GetLastError());

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) throw OpenFailure(path_, GetLastError());
  if (static_cast<std::uint64_t>(size.QuadPart) > kLargestNotesFile) throw OpenFailure(path_, ERROR_FILE_TOO_LARGE);
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  if (!bytes.empty()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
      throw Exception(L"Stream read error");
    }
  }
  file.reset();

  std::optional<core::NotesForPad> pad = core::NotesFileForPad(bytes, SystemAnsi());
  if (!pad) throw OpenFailure(path_, ERROR_NO_UNICODE_TRANSLATION);

  Hasher hasher;
  hasher.Add(bytes.data(), bytes.size());
  loaded_ = {hasher.Size(), hasher.Hash()};
  // Text that would not give these bytes back leaves the file counting as not loaded, so the
  // first save keeps it aside.
  seen_ = pad->exact ? Seen::kLoaded : Seen::kUnknown;
  return ToWide(pad->text);
}

void NotesFile::MarkNotLoaded() {
  if (seen_ == Seen::kLoaded) seen_ = Seen::kUnknown;
}

void NotesFile::Save(std::wstring_view text) {
  // The code page conversions count in int; no edit control holds that much.
  if (text.size() > INT_MAX / 4) throw Exception(L"Stream write error");
  const std::string bytes = EncodeForFile(text);
  Hasher hasher;
  hasher.Add(bytes.data(), bytes.size());
  const Fingerprint written{hasher.Size(), hasher.Hash()};

  const std::wstring target = FileBehind(path_);
  const SaveLock lock(target, path_);
  const DWORD attributes = GetFileAttributesW(target.c_str());

  // Notes this run has not shown are kept, unless they are what is about to be written anyway.
  const wchar_t* keep_as = nullptr;
  const std::optional<Hasher> current = HashFileToReplace(target, path_);
  if (current) {
    const Fingerprint on_disk{current->Size(), current->Hash()};
    if (!(on_disk == written)) {
      if (seen_ == Seen::kUnknown) {
        keep_as = L"unloaded";
      } else if (seen_ == Seen::kMissing || !(on_disk == loaded_)) {
        keep_as = L"changed";
      }
    }
  }

  TemporaryFile temporary(target, path_);
  if (!bytes.empty()) {
    const DWORD size = static_cast<DWORD>(bytes.size());
    if (writer_(temporary.Handle(), bytes.data(), size) != size) throw Exception(L"Stream write error");
  }
  if (!FlushFileBuffers(temporary.Handle())) throw Exception(L"Stream write error");
  temporary.Close();

  const std::wstring kept = keep_as != nullptr ? KeepAside(target, keep_as) : std::wstring();
  if (const DWORD error = PutInPlace(temporary.Path(), target, attributes, current && kept.empty())) {
    if (!kept.empty()) MoveFileExW(kept.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    throw CreateFailure(path_, error);
  }
  temporary.Committed();
  loaded_ = written;
  seen_ = Seen::kLoaded;
}

std::wstring NotesFile::Rescue(std::wstring_view text) {
  if (text.size() > INT_MAX / 4) throw Exception(L"Stream write error");
  const std::string bytes = EncodeForFile(text);
  UniqueFile file;
  const std::wstring rescue_path = RescuePath(path_, file);
  bool whole = true;
  if (!bytes.empty()) {
    const DWORD size = static_cast<DWORD>(bytes.size());
    whole = writer_(file.get(), bytes.data(), size) == size;
  }
  whole = whole && FlushFileBuffers(file.get());
  file.reset();
  if (!whole) {
    // Part of the notes under that name would pass for all of them.
    DeleteFileW(rescue_path.c_str());
    throw Exception(L"Stream write error");
  }
  return rescue_path;
}

}  // namespace tk
