#include "QuickIni.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TQuickIni)

TQuickIni::TQuickIni() = default;
TQuickIni::~TQuickIni() = default;

void TQuickIni::LoadFromStream(TStream* stream) {
  if (!stream) return;
  const std::int64_t remaining = stream->Size() - stream->Position();
  std::string text;
  if (remaining > 0) {
    text.resize(static_cast<std::size_t>(remaining));
    text.resize(static_cast<std::size_t>(stream->Read(text.data(), static_cast<long>(remaining))));
  }
  LoadFromText(text);
}

void TQuickIni::LoadFromText(const std::string& bytes) {
  lines_.clear();
  sections_.clear();
  // a NUL ends the text; lines end at CR, LF or CR LF
  const std::wstring text = AnsiToWide(std::string_view(bytes.c_str()));
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const std::size_t start = i;
    while (i < n && text[i] != L'\r' && text[i] != L'\n') ++i;
    std::wstring line = Trim(std::wstring_view(text).substr(start, i - start));
    if (i < n && text[i] == L'\r') ++i;
    if (i < n && text[i] == L'\n') ++i;
    if (line.empty() || line[0] == L';') continue;
    lines_.push_back(line);
    if (IsSection(line)) sections_.emplace_back(std::move(line), static_cast<int>(lines_.size()) - 1);
  }
}

std::wstring TQuickIni::KeyOf(const std::wstring& line) {
  const std::size_t eq = line.find(L'=');
  if (eq == std::wstring::npos) return std::wstring();
  return LowerCase(Trim(std::wstring_view(line).substr(0, eq)));
}

std::wstring TQuickIni::ValueOf(const std::wstring& line, const std::wstring& key) {
  if (line.empty() || key.empty()) return std::wstring();
  const std::size_t eq = line.find(L'=');
  if (eq == std::wstring::npos || KeyOf(line) != key) return std::wstring();
  return Trim(std::wstring_view(line).substr(eq + 1));
}

bool TQuickIni::IsSection(const std::wstring& line) {
  const std::wstring t = Trim(line);
  return t.size() >= 2 && t.front() == L'[' && t.back() == L']';
}

int TQuickIni::SectionLine(const std::wstring& section) const {
  const std::wstring header = L"[" + section + L"]";
  for (const auto& s : sections_)
    if (SameText(s.first, header)) return s.second;
  return -1;
}

std::wstring TQuickIni::ReadString(const std::wstring& section, const std::wstring& key, const std::wstring& def) const {
  std::wstring result = def;
  const std::wstring k = LowerCase(key);
  const int header = SectionLine(section);
  if (header < 0) return result;
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines_.size(); ++i) {
    const std::wstring& line = lines_[i];
    if (IsSection(line)) break;
    if (KeyOf(line) == k) {
      std::wstring v = ValueOf(line, k);
      if (!v.empty()) result = std::move(v);
      break;
    }
  }
  return result;
}

int TQuickIni::ReadInteger(const std::wstring& section, const std::wstring& key, int def) const {
  std::wstring s = ReadString(section, key, std::wstring());
  if (s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) s = L"$" + s.substr(2);
  int v;
  return TryStrToInt(s, v) ? v : def;
}

void TQuickIni::ReadSections(TStrings& list) const {
  list.BeginUpdate();
  list.Clear();
  for (const auto& s : sections_) list.Add(Trim(std::wstring_view(s.first).substr(1, s.first.size() - 2)));
  list.EndUpdate();
}

}  // namespace kivo
