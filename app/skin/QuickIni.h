// The read-only ini reader of the skin archive's ini member.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Classes.h"
#include "Streams.h"
#include "Strings.h"

namespace kivo {

// Keeps the retained lines (trimmed, non-empty, not ";" comments) and an index of the section
// headers. Sections are found without regard to case, keys are compared lower-cased, values
// keep their case; the first section of a name and the first line of a key win.
class TQuickIni : public TObject {
  KIVO_CLASS(TQuickIni, TObject)
 public:
  TQuickIni();
  ~TQuickIni() override;

  // Replaces the content with the text from the stream's position to its end (code page 936).
  // A nil stream leaves the reader as it is.
  void LoadFromStream(TStream* stream);
  void LoadFromText(const std::string& text);

  std::wstring ReadString(const std::wstring& section, const std::wstring& key, const std::wstring& def) const;
  // Decimal, or hexadecimal after "0x"/"0X"/"$"; anything that does not convert whole gives def.
  int ReadInteger(const std::wstring& section, const std::wstring& key, int def) const;
  // Section names in text order, without brackets and trimmed inside them.
  void ReadSections(TStrings& list) const;

  // The line's key: the text before the first "=", trimmed and lower-cased ("" without "=").
  static std::wstring KeyOf(const std::wstring& line);
  // The text after the first "=", trimmed, when the line's key is `key`; otherwise "".
  static std::wstring ValueOf(const std::wstring& line, const std::wstring& key);
  static bool IsSection(const std::wstring& line);
  // The index in Lines of the header "[section]" (any case), -1 when none.
  int SectionLine(const std::wstring& section) const;

  const std::vector<std::wstring>& Lines() const { return lines_; }

 private:
  std::vector<std::wstring> lines_;
  std::vector<std::pair<std::wstring, int>> sections_;  // header line, index in lines_
};

}  // namespace kivo
