// Files and folders for the companion programs' tests: a temporary folder per case, whole-file
// reads and writes, UTF-16 logs as lines, folder links and running the programs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kivo::test {

// A folder of its own under the temporary folder, removed with everything in it (links are
// removed, never followed).
class TTempFolder {
 public:
  explicit TTempFolder(const std::wstring& tag);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  // With a trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& relative) const { return path_ + relative; }

 private:
  std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& data);
bool PathExists(const std::wstring& path);
bool CopyInto(const std::wstring& from, const std::wstring& to);
// Creates the folder and its parents.
bool MakeFolders(const std::wstring& path);
// The lines of a UTF-16 log file (the byte-order mark taken off) as UTF-8, without line ends.
std::vector<std::string> ReadLogLines(const std::wstring& path);
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

// A symbolic link to a folder or a file. Under Wine, whose own call makes no link, a link of the
// host system: Wine shows one to a folder as a reparse point and one to a file as the file.
bool MakeLink(const std::wstring& link, const std::wstring& target, bool folder);

// Runs a program with the given command line (its first argument included) and waits for it;
// the exit code, or nothing when it did not end within the time-out (it is then ended).
std::optional<DWORD> RunProgram(const std::wstring& exe, const std::wstring& commandLine, DWORD timeoutMs = 60000);

// MD5 of the bytes through the system's cryptographic provider, as 32 lower-case digits.
std::string SystemMd5(const std::string& bytes);

}  // namespace kivo::test
