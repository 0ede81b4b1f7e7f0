#include "IniFiles.h"

#include <cstring>

#include "Streams.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TIniFile)

TIniFile::TIniFile(std::wstring fileName, UINT codePage) : fileName_(std::move(fileName)), codePage_(codePage) {}

namespace {
constexpr char kUtf16Bom[] = "\xFF\xFE";
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

std::wstring DecodeText(const std::string& bytes, UINT codePage) {
  if (bytes.compare(0, 2, kUtf16Bom) == 0) {
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    return text;
  }
  if (bytes.compare(0, 3, kUtf8Bom) == 0) return AnsiToWide(std::string_view(bytes).substr(3), CP_UTF8);
  return AnsiToWide(bytes, codePage);
}

// The code page's bytes when the text goes there and back unchanged, UTF-16LE with a byte-order
// mark otherwise: nothing written is lost.
std::string EncodeText(const std::wstring& text, UINT codePage) {
  std::string bytes = WideToAnsi(text, codePage);
  if (AnsiToWide(bytes, codePage) == text) return bytes;
  bytes.assign(kUtf16Bom, 2);
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return bytes;
}
}  // namespace

std::vector<TIniFile::Section> TIniFile::Load() const {
  if (batch_) return pending_;
  return ReadFile();
}

std::vector<TIniFile::Section> TIniFile::ReadFile() const {
  std::vector<Section> sections;
  if (!FileExists(fileName_)) return sections;
  TMemoryStream m;
  m.LoadFromFile(fileName_);
  std::string bytes(reinterpret_cast<const char*>(m.Bytes().data()), m.Bytes().size());
  std::wstring text = DecodeText(bytes, codePage_);
  // lines before the first section header belong to a nameless section kept as is
  sections.push_back(Section{});
  size_t i = 0;
  while (i < text.size()) {
    size_t e = text.find_first_of(L"\r\n", i);
    if (e == std::wstring::npos) e = text.size();
    std::wstring raw = text.substr(i, e - i);
    i = e;
    if (i < text.size() && text[i] == L'\r') ++i;
    if (i < text.size() && text[i] == L'\n') ++i;
    std::wstring t = Trim(raw);
    if (t.size() >= 2 && t.front() == L'[') {
      size_t close = t.find(L']');
      if (close != std::wstring::npos) {
        sections.push_back(Section{Trim(t.substr(1, close - 1)), raw, {}});
        continue;
      }
    }
    size_t eq = t.find(L'=');
    if (!t.empty() && t[0] != L';' && eq != std::wstring::npos && eq > 0) {
      std::wstring value = Trim(t.substr(eq + 1));
      if (value.size() >= 2 && ((value.front() == L'"' && value.back() == L'"') || (value.front() == L'\'' && value.back() == L'\'')))
        value = value.substr(1, value.size() - 2);
      sections.back().lines.push_back(Line{Trim(t.substr(0, eq)), value, raw});
    } else {
      sections.back().lines.push_back(Line{L"", L"", raw});
    }
  }
  return sections;
}

void TIniFile::Save(std::vector<Section> sections) {
  if (batch_) {
    pending_ = std::move(sections);
    dirty_ = true;
    return;
  }
  WriteFile(sections);
}

void TIniFile::WriteFile(const std::vector<Section>& sections) {
  std::wstring text;
  for (const Section& s : sections) {
    if (&s != &sections.front()) text += (s.header.empty() ? L"[" + s.name + L"]" : s.header) + L"\r\n";
    for (const Line& l : s.lines) text += l.raw + L"\r\n";
  }
  const std::string bytes = EncodeText(text, codePage_);
  const std::wstring temp = fileName_ + L".tmp";
  try {
    TFileStream f(temp, fmCreate | fmShareExclusive);
    if (!bytes.empty()) f.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
    if (!::FlushFileBuffers(f.Handle())) RaiseLastOSError();
  } catch (...) {
    ::DeleteFileW(temp.c_str());
    throw;
  }
  if (!::MoveFileExW(temp.c_str(), fileName_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    throw EFCreateError(L"Cannot write file \"" + fileName_ + L"\". " + SysErrorMessage(error));
  }
}

void TIniFile::BeginUpdate() {
  if (batch_) return;
  pending_ = ReadFile();
  dirty_ = false;
  batch_ = true;
}

void TIniFile::UpdateFile() {
  if (!batch_) return;
  batch_ = false;
  std::vector<Section> sections = std::move(pending_);
  pending_.clear();
  if (dirty_) WriteFile(sections);
  dirty_ = false;
}

namespace {
// Values are one line in the file: line breaks inside a value would start new keys or sections.
std::wstring OneLine(std::wstring_view v) {
  std::wstring r(v);
  for (wchar_t& c : r)
    if (c == L'\r' || c == L'\n') c = L' ';
  return r;
}
// Keys and section names are read trimmed, so they are looked up and written trimmed.
std::wstring NameOf(std::wstring_view name) { return OneLine(Trim(name)); }
// Reading trims a value and drops one pair of enclosing quotes: a value that would lose
// something that way is written in double quotes.
std::wstring Stored(const std::wstring& v) {
  bool quote = !v.empty() && (v.front() <= L' ' || v.back() <= L' ');
  quote = quote || (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front());
  return quote ? L"\"" + v + L"\"" : v;
}
}  // namespace

TIniFile::Section* TIniFile::FindSection(std::vector<Section>& s, std::wstring_view name) {
  std::wstring n = NameOf(name);
  for (size_t i = 1; i < s.size(); ++i)
    if (SameText(s[i].name, n)) return &s[i];
  return nullptr;
}
const TIniFile::Section* TIniFile::FindSection(const std::vector<Section>& s, std::wstring_view name) {
  return FindSection(const_cast<std::vector<Section>&>(s), name);
}


std::wstring TIniFile::ReadString(std::wstring_view section, std::wstring_view key, const std::wstring& def) const {
  auto all = Load();
  if (const Section* s = FindSection(all, section))
    for (const Line& l : s->lines)
      if (!l.key.empty() && SameText(l.key, NameOf(key))) return l.value;
  return def;
}
void TIniFile::WriteString(std::wstring_view section, std::wstring_view key, const std::wstring& value) {
  auto all = Load();
  if (all.empty()) all.push_back(Section{});
  Section* s = FindSection(all, section);
  if (!s) {
    all.push_back(Section{NameOf(section), L"", {}});
    s = &all.back();
  }
  bool found = false;
  for (Line& l : s->lines)
    if (!l.key.empty() && SameText(l.key, NameOf(key))) {
      if (l.value != OneLine(value)) {
        l.value = OneLine(value);
        l.raw = l.key + L"=" + Stored(l.value);
      }
      found = true;
      break;
    }
  if (!found) {
    // after the last key, before trailing blank lines
    size_t at = s->lines.size();
    while (at > 0 && s->lines[at - 1].key.empty() && Trim(s->lines[at - 1].value).empty()) --at;
    std::wstring k = NameOf(key), v = OneLine(value);
    s->lines.insert(s->lines.begin() + at, Line{k, v, k + L"=" + Stored(v)});
  }
  Save(all);
}
int TIniFile::ReadInteger(std::wstring_view section, std::wstring_view key, int def) const {
  return StrToIntDef(ReadString(section, key, L""), def);
}
void TIniFile::WriteInteger(std::wstring_view section, std::wstring_view key, int value) {
  WriteString(section, key, IntToStr(value));
}
bool TIniFile::ReadBool(std::wstring_view section, std::wstring_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}
void TIniFile::WriteBool(std::wstring_view section, std::wstring_view key, bool value) {
  WriteString(section, key, value ? L"1" : L"0");
}
void TIniFile::ReadSection(std::wstring_view section, TStrings& keys) const {
  keys.BeginUpdate();
  keys.Clear();
  auto all = Load();
  if (const Section* s = FindSection(all, section))
    for (const Line& l : s->lines)
      if (!l.key.empty()) keys.Add(l.key);
  keys.EndUpdate();
}
void TIniFile::ReadSections(TStrings& sections) const {
  sections.BeginUpdate();
  sections.Clear();
  auto all = Load();
  for (size_t i = 1; i < all.size(); ++i) sections.Add(all[i].name);
  sections.EndUpdate();
}
void TIniFile::ReadSectionValues(std::wstring_view section, TStrings& values) const {
  values.BeginUpdate();
  values.Clear();
  auto all = Load();
  if (const Section* s = FindSection(all, section))
    for (const Line& l : s->lines)
      if (!l.key.empty()) values.Add(l.key + L"=" + l.value);
  values.EndUpdate();
}
bool TIniFile::SectionExists(std::wstring_view section) const {
  auto all = Load();
  return FindSection(all, section) != nullptr;
}
bool TIniFile::ValueExists(std::wstring_view section, std::wstring_view key) const {
  auto all = Load();
  if (const Section* s = FindSection(all, section))
    for (const Line& l : s->lines)
      if (!l.key.empty() && SameText(l.key, NameOf(key))) return true;
  return false;
}
void TIniFile::EraseSection(std::wstring_view section) {
  auto all = Load();
  bool any = false;
  for (size_t i = all.size(); i-- > 1;)
    if (SameText(all[i].name, NameOf(section))) {
      all.erase(all.begin() + i);
      any = true;
    }
  if (any) Save(all);
}
void TIniFile::DeleteKey(std::wstring_view section, std::wstring_view key) {
  auto all = Load();
  Section* s = FindSection(all, section);
  if (!s) return;
  for (size_t i = 0; i < s->lines.size(); ++i)
    if (!s->lines[i].key.empty() && SameText(s->lines[i].key, NameOf(key))) {
      s->lines.erase(s->lines.begin() + i);
      Save(all);
      return;
    }
}

}  // namespace kivo
