#pragma once
// The notes file: the notes pad's text, read at start and written back at the end of a run.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tk {

// One notes file over one run, independent of the edit control that shows the text.
//
// Format. The file holds the pad's whole text with CR LF line breaks, in the ANSI code page
// without a byte-order mark. Text that the code page cannot hold exactly is written as UTF-8 with
// a byte-order mark instead, so nothing turns into substitute characters. Reading honours a UTF-16
// (either byte order) or UTF-8 byte-order mark and accepts LF or CR alone as line breaks.
//
// Nothing gets lost. Between Load() and Save() the object remembers what it saw on disk: no file,
// the file it loaded (size and hash of its bytes), or a file it could not load. Save() never
// silently writes over notes that this run has not shown: a file that was not loaded, or that
// changed on disk since it was loaded (another copy of the program saved meanwhile), or that
// appeared after the run found none, is first renamed to "<name>.unloaded-YYYYMMDD-HHMMSS" or
// "<name>.changed-YYYYMMDD-HHMMSS" (local time; "-2", "-3"... added rather than replace an earlier
// kept file); nothing is kept when the file already holds exactly the bytes being written. The
// new text goes to "<name>.<process id>.tmp" in the same folder, which replaces the notes file
// only once it holds the whole text: a failed save leaves the notes file as it was. The
// replaced file's attributes (hidden, system, archive) stay; where the notes file is a link,
// the file it leads to is the one replaced and kept aside, and the link stays.
//
// Where the notes file is a link, the kept copy, the new text and the lock below lie beside the
// file it leads to and take that file's name.
//
// Two copies of the program saving at once: a save holds "<name>.lock" (open without sharing,
// gone once closed) from its look at the file on disk until the new file is in place. Another
// save waits for it up to three seconds, then fails with the notes file's sharing violation.
//
// A file over 64 MB is not loaded (the pad could not give it back whole; see notes_file.cpp)
// and so is kept aside at the first save.
//
// Failures are tk::Exception with these messages:
//   "Cannot open file \"<full path>\". <system text>"    Load: the file cannot be opened, is
//                                                        over 64 MB, or after a UTF-8 mark is
//                                                        not UTF-8
//   "Stream read error"                                  Load: the read fell short
//   "Cannot create file \"<full path>\". <system text>"  Save: the notes file cannot be written
//                                                        (read-only, a directory, held open by
//                                                        another program, folder missing);
//                                                        or the kept copy's path when the
//                                                        notes file cannot be renamed to it
//   "Stream write error"                                 Save: the write fell short
// Rescue() fails with the create failure of the rescue file's path, "Cannot find the temporary
// folder. <system text>", or "Stream write error".
class NotesFile {
 public:
  // The one write of a save: writes `size` bytes to `file` and returns how many it wrote.
  // WriteFile by default; tests put a failing disk in its place.
  using Writer = std::function<DWORD(HANDLE file, const char* data, DWORD size)>;

  explicit NotesFile(std::wstring path, Writer writer = {});

  const std::wstring& Path() const { return path_; }

  // The text for the pad, line breaks as CR LF. Nothing, and no error, when no file of that name
  // exists or the name is a directory's. A file whose bytes would not come back from the text
  // (bytes the code page cannot decode strictly, NUL bytes, a broken UTF-16 file) is still
  // shown, as UTF-8 when it is strict UTF-8 and NUL as a blank, but counts as not loaded.
  std::optional<std::wstring> Load();

  // The pad refused the text from Load(): the file then counts as not loaded, and the next save
  // keeps it aside.
  void MarkNotLoaded();

  // Writes the pad's whole text. After success the written file counts as loaded, so saving
  // again in the same run keeps nothing aside.
  void Save(std::wstring_view text);

  // For a save that failed: writes the text, encoded as a save would, to a new file
  // "<name>.rescued-YYYYMMDD-HHMMSS" ("-2", "-3"... added rather than replace an earlier one) in
  // the user's temporary folder, and returns that file's full path. Leaves the notes file and
  // what this object knows of it alone. A rescue that fails midway leaves no file.
  std::wstring Rescue(std::wstring_view text);

 private:
  struct Fingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const Fingerprint& other) const { return size == other.size && hash == other.hash; }
  };
  enum class Seen { kUnknown, kMissing, kLoaded };

  std::wstring path_;
  Writer writer_;
  Seen seen_ = Seen::kUnknown;
  Fingerprint loaded_;  // meaningful when seen_ is kLoaded
};

}  // namespace tk
