#include "Strings.h"

#include <algorithm>

#include "Streams.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TStrings)
KIVO_IMPLEMENT_CLASS(TStringList)

void TStrings::Error(const wchar_t* msg, int index) const { throw EStringListError(Format(msg, index)); }

void TStrings::Put(int index, const std::wstring& s) {
  TObject* obj = GetObject(index);
  Delete(index);
  InsertObject(index, s, obj);
}
TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}
void TStrings::InsertObject(int index, const std::wstring& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}
int TStrings::Add(const std::wstring& s) {
  int i = Count();
  Insert(i, s);
  return i;
}
int TStrings::AddObject(const std::wstring& s, TObject* obj) {
  int i = Add(s);
  PutObject(i, obj);
  return i;
}
void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  try {
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}
int TStrings::IndexOf(std::wstring_view s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Get(i), s)) return i;
  return -1;
}
int TStrings::IndexOfName(std::wstring_view name) const {
  for (int i = 0; i < Count(); ++i) {
    std::wstring s = Get(i);
    size_t eq = s.find(L'=');
    if (eq != std::wstring::npos && SameText(std::wstring_view(s).substr(0, eq), name)) return i;
  }
  return -1;
}
int TStrings::IndexOfObject(const TObject* obj) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}
void TStrings::Exchange(int a, int b) {
  std::wstring sa = Get(a), sb = Get(b);
  TObject *oa = GetObject(a), *ob = GetObject(b);
  Put(a, sb);
  PutObject(a, ob);
  Put(b, sa);
  PutObject(b, oa);
}
void TStrings::Move(int from, int to) {
  if (from == to) return;
  std::wstring s = Get(from);
  TObject* o = GetObject(from);
  Delete(from);
  InsertObject(to, s, o);
}
void TStrings::Assign(const TPersistent* source) {
  if (auto* src = dynamic_cast<const TStrings*>(source)) {
    if (src == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(*src);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

std::wstring TStrings::Names(int index) const {
  std::wstring s = Get(index);
  size_t eq = s.find(L'=');
  return eq == std::wstring::npos ? std::wstring() : s.substr(0, eq);
}
std::wstring TStrings::ValueFromIndex(int index) const {
  std::wstring s = Get(index);
  size_t eq = s.find(L'=');
  return eq == std::wstring::npos ? std::wstring() : s.substr(eq + 1);
}
std::wstring TStrings::Values(std::wstring_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::wstring() : ValueFromIndex(i);
}
void TStrings::SetValue(std::wstring_view name, const std::wstring& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::wstring line = std::wstring(name) + L"=" + value;
  if (i < 0) Add(line);
  else Put(i, line);
}

std::wstring TStrings::Text() const {
  std::wstring r;
  for (int i = 0; i < Count(); ++i) r += Get(i) + L"\r\n";
  return r;
}
void TStrings::SetText(std::wstring_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      size_t e = text.find_first_of(L"\r\n", i);
      if (e == std::wstring_view::npos) e = text.size();
      Add(std::wstring(text.substr(i, e - i)));
      i = e;
      if (i < text.size() && text[i] == L'\r') ++i;
      if (i < text.size() && text[i] == L'\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::wstring TStrings::DelimitedText() const {
  std::wstring r;
  for (int i = 0; i < Count(); ++i) {
    std::wstring s = Get(i);
    bool quote = s.empty() && Count() == 1;
    for (wchar_t c : s) quote = quote || c <= L' ' || c == Delimiter || c == QuoteChar;
    if (quote) {
      std::wstring q(1, QuoteChar);
      for (wchar_t c : s) {
        q += c;
        if (c == QuoteChar) q += c;
      }
      s = q + QuoteChar;
    }
    if (i) r += Delimiter;
    r += s;
  }
  return r;
}
void TStrings::SetDelimitedText(std::wstring_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    auto skipBlanks = [&] {
      while (i < text.size() && text[i] > L'\0' && text[i] <= L' ') ++i;
    };
    skipBlanks();
    while (i < text.size()) {
      std::wstring item;
      if (text[i] == QuoteChar) {
        ++i;
        while (i < text.size()) {
          if (text[i] == QuoteChar) {
            if (i + 1 < text.size() && text[i + 1] == QuoteChar) {
              item += QuoteChar;
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
      } else {
        while (i < text.size() && text[i] > L' ' && text[i] != Delimiter) item += text[i++];
      }
      Add(item);
      skipBlanks();
      if (i < text.size() && text[i] == Delimiter) {
        ++i;
        skipBlanks();
        if (i >= text.size()) Add(L"");
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}
std::wstring TStrings::CommaText() const {
  TStrings* self = const_cast<TStrings*>(this);
  wchar_t d = Delimiter, q = QuoteChar;
  self->Delimiter = L',';
  self->QuoteChar = L'"';
  std::wstring r = DelimitedText();
  self->Delimiter = d;
  self->QuoteChar = q;
  return r;
}
void TStrings::SetCommaText(std::wstring_view text) {
  wchar_t d = Delimiter, q = QuoteChar;
  Delimiter = L',';
  QuoteChar = L'"';
  try {
    SetDelimitedText(text);
  } catch (...) {
    Delimiter = d;
    QuoteChar = q;
    throw;
  }
  Delimiter = d;
  QuoteChar = q;
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}
void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromStream(TStream& s, UINT codePage) {
  int64_t size = s.Size() - s.Position();
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (!bytes.empty()) s.ReadBuffer(bytes.data(), static_cast<long>(bytes.size()));
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = AnsiToWide(std::string_view(bytes).substr(3), CP_UTF8);
  } else {
    text = AnsiToWide(bytes, codePage);
  }
  SetText(text);
}
void TStrings::SaveToStream(TStream& s, UINT codePage) const {
  std::string bytes = WideToAnsi(Text(), codePage);
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<long>(bytes.size()));
}
void TStrings::LoadFromFile(const std::wstring& path, UINT codePage) {
  TFileStream f(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f, codePage);
}
void TStrings::SaveToFile(const std::wstring& path, UINT codePage) const {
  TFileStream f(path, fmCreate);
  SaveToStream(f, codePage);
}
std::vector<std::wstring> TStrings::ToVector() const {
  std::vector<std::wstring> r;
  for (int i = 0; i < Count(); ++i) r.push_back(Get(i));
  return r;
}

// ---- TStringList ------------------------------------------------------------------------------
TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (OwnsObjects)
    for (Item& it : items_)
      if (it.obj) it.obj->Free();
}

int TStringList::CompareStrings(std::wstring_view a, std::wstring_view b) const {
  return caseSensitive_ ? CompareStr(a, b) : CompareText(a, b);
}
void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}
void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}
void TStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

std::wstring TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  return items_[index].s;
}
void TStringList::Put(int index, const std::wstring& s) {
  if (sorted_) throw EStringListError(L"Operation not allowed on sorted list");
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  Changing();
  items_[index].s = s;
  Changed();
}
TObject* TStringList::GetObject(int index) const {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  return items_[index].obj;
}
void TStringList::PutObject(int index, TObject* obj) {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  Changing();
  items_[index].obj = obj;
  Changed();
}
void TStringList::InsertItem(int index, const std::wstring& s, TObject* obj) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, obj});
  Changed();
}
void TStringList::Insert(int index, const std::wstring& s) {
  if (sorted_) throw EStringListError(L"Operation not allowed on sorted list");
  if (index < 0 || index > Count()) Error(L"List index out of bounds (%d)", index);
  InsertItem(index, s, nullptr);
}
int TStringList::Add(const std::wstring& s) { return AddObject(s, nullptr); }
int TStringList::AddObject(const std::wstring& s, TObject* obj) {
  if (!sorted_) {
    InsertItem(Count(), s, obj);
    return Count() - 1;
  }
  int i;
  if (Find(s, i)) {
    if (Duplicates == TDuplicates::dupIgnore) return i;
    if (Duplicates == TDuplicates::dupError) throw EStringListError(L"String list does not allow duplicates");
  }
  InsertItem(i, s, obj);
  return i;
}
void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) Error(L"List index out of bounds (%d)", index);
  Changing();
  TObject* obj = items_[index].obj;
  items_.erase(items_.begin() + index);
  if (OwnsObjects && obj) obj->Free();
  Changed();
}
void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(items_);
  if (OwnsObjects)
    for (Item& it : old)
      if (it.obj) it.obj->Free();
  Changed();
}
int TStringList::IndexOf(std::wstring_view s) const {
  if (sorted_) {
    int i;
    return Find(s, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[i].s, s) == 0) return i;
  return -1;
}
void TStringList::Exchange(int a, int b) {
  if (a < 0 || a >= Count()) Error(L"List index out of bounds (%d)", a);
  if (b < 0 || b >= Count()) Error(L"List index out of bounds (%d)", b);
  Changing();
  std::swap(items_[a], items_[b]);
  Changed();
}
void TStringList::Move(int from, int to) {
  if (from < 0 || from >= Count()) Error(L"List index out of bounds (%d)", from);
  if (to < 0 || to >= Count()) Error(L"List index out of bounds (%d)", to);
  if (from == to) return;
  if (sorted_) throw EStringListError(L"Operation not allowed on sorted list");
  Changing();
  Item it = std::move(items_[from]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(it));
  Changed();
}
bool TStringList::Find(std::wstring_view s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[mid].s, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}
void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.s, b.s) < 0; });
  Changed();
}
void TStringList::CustomSort(TStringListSortCompare compare) {
  if (sorted_ || Count() < 2) return;
  Changing();
  // insertion sort through the caller's comparison, which works on indexes
  for (int i = 1; i < Count(); ++i)
    for (int j = i; j > 0 && compare(*this, j - 1, j) > 0; --j) std::swap(items_[j - 1], items_[j]);
  Changed();
}
void TStringList::SetSorted(bool v) {
  if (v == sorted_) return;
  if (v) Sort();
  sorted_ = v;
}
void TStringList::SetCaseSensitive(bool v) {
  if (v == caseSensitive_) return;
  caseSensitive_ = v;
  if (sorted_) Sort();
}

}  // namespace kivo
