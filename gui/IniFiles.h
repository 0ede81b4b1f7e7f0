// Ini files: sections and values kept in file order, text in a fixed code page (936 for the
// system's files) whatever the process's ANSI code page. A file holding text outside that code
// page is written as UTF-16LE with a byte-order mark, which reading recognises.
// Every write goes to disk at once, or at UpdateFile after BeginUpdate. A save writes a temporary
// file beside the target and moves it over the target in one step, so the file is always either
// the old or the new one; a failed save leaves the old file and raises.
#pragma once

#include <string>
#include <vector>

#include "Strings.h"

namespace kivo {

class TIniFile : public TObject {
  KIVO_CLASS(TIniFile, TObject)
  explicit TIniFile(std::wstring fileName, UINT codePage = kFileCodePage);

  const std::wstring& FileName() const { return fileName_; }
  std::wstring ReadString(std::wstring_view section, std::wstring_view key, const std::wstring& def) const;
  void WriteString(std::wstring_view section, std::wstring_view key, const std::wstring& value);
  int ReadInteger(std::wstring_view section, std::wstring_view key, int def) const;
  void WriteInteger(std::wstring_view section, std::wstring_view key, int value);
  // Booleans are stored as 1 and 0; any non-zero number reads as true.
  bool ReadBool(std::wstring_view section, std::wstring_view key, bool def) const;
  void WriteBool(std::wstring_view section, std::wstring_view key, bool value);
  // Key names of a section, in file order.
  void ReadSection(std::wstring_view section, TStrings& keys) const;
  void ReadSections(TStrings& sections) const;
  // "key=value" lines of a section, in file order.
  void ReadSectionValues(std::wstring_view section, TStrings& values) const;
  bool SectionExists(std::wstring_view section) const;
  bool ValueExists(std::wstring_view section, std::wstring_view key) const;
  void EraseSection(std::wstring_view section);
  void DeleteKey(std::wstring_view section, std::wstring_view key);
  // Writes after BeginUpdate are kept in memory until UpdateFile saves them once.
  void BeginUpdate();
  void UpdateFile();

 private:
  // Lines keep their text as read: only the lines written are made anew.
  struct Line {
    std::wstring key;    // empty for comments and blank lines
    std::wstring value;
    std::wstring raw;
  };
  struct Section {
    std::wstring name;
    std::wstring header;  // the "[name]" line as read
    std::vector<Line> lines;
  };
  std::vector<Section> Load() const;
  std::vector<Section> ReadFile() const;
  void Save(std::vector<Section> sections);
  void WriteFile(const std::vector<Section>& sections);
  static Section* FindSection(std::vector<Section>& s, std::wstring_view name);
  static const Section* FindSection(const std::vector<Section>& s, std::wstring_view name);

  std::wstring fileName_;
  UINT codePage_;
  bool batch_ = false;
  bool dirty_ = false;
  std::vector<Section> pending_;  // the file's state while a batch is open
};

}  // namespace kivo
