// String lists: TStrings (the abstract list) and TStringList (with Objects, sorting, Names/Values).
#pragma once

#include <string>
#include <vector>

#include "Classes.h"

namespace kivo {

class TStream;

class TStrings : public TPersistent {
  KIVO_CLASS(TStrings, TPersistent)
  virtual int Count() const = 0;
  virtual std::wstring Get(int index) const = 0;
  virtual void Put(int index, const std::wstring& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* obj);
  virtual void Insert(int index, const std::wstring& s) = 0;
  void InsertObject(int index, const std::wstring& s, TObject* obj);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::wstring& s);
  virtual int AddObject(const std::wstring& s, TObject* obj);
  void AddStrings(const TStrings& other);
  void Append(const std::wstring& s) { Add(s); }
  virtual int IndexOf(std::wstring_view s) const;  // ignoring case
  int IndexOfName(std::wstring_view name) const;
  int IndexOfObject(const TObject* obj) const;
  virtual void Exchange(int a, int b);
  virtual void Move(int from, int to);
  void Assign(const TPersistent* source) override;

  std::wstring operator[](int index) const { return Get(index); }
  std::wstring Strings(int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }

  // "name=value" lines.
  std::wstring Names(int index) const;
  std::wstring ValueFromIndex(int index) const;
  std::wstring Values(std::wstring_view name) const;
  void SetValue(std::wstring_view name, const std::wstring& value);  // empty removes the line

  // Lines joined with CRLF (each line ended); setting splits at CR, LF or CRLF.
  std::wstring Text() const;
  void SetText(std::wstring_view text);
  // Items separated by commas, quoted with " when they hold a blank, comma or quote.
  std::wstring CommaText() const;
  void SetCommaText(std::wstring_view text);
  wchar_t Delimiter = L',';
  wchar_t QuoteChar = L'"';
  std::wstring DelimitedText() const;
  void SetDelimitedText(std::wstring_view text);

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // Text files in a code page (the system's list files use kFileCodePage); a UTF-16 or UTF-8
  // byte-order mark is honoured on reading.
  void LoadFromFile(const std::wstring& path, UINT codePage = kFileCodePage);
  void SaveToFile(const std::wstring& path, UINT codePage = kFileCodePage) const;
  void LoadFromStream(TStream& s, UINT codePage = kFileCodePage);
  void SaveToStream(TStream& s, UINT codePage = kFileCodePage) const;
  std::vector<std::wstring> ToVector() const;

 protected:
  virtual void SetUpdateState(bool updating) {}
  void Error(const wchar_t* msg, int index) const;

 private:
  int updateCount_ = 0;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };
class TStringList;
using TStringListSortCompare = int (*)(TStringList& list, int a, int b);

class TStringList : public TStrings {
  KIVO_CLASS(TStringList, TStrings)
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(items_.size()); }
  std::wstring Get(int index) const override;
  void Put(int index, const std::wstring& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  void Insert(int index, const std::wstring& s) override;
  int Add(const std::wstring& s) override;
  int AddObject(const std::wstring& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  int IndexOf(std::wstring_view s) const override;
  void Exchange(int a, int b) override;
  // Moves the item with its object (an owned object is not freed on the way).
  void Move(int from, int to) override;

  // Binary search in a sorted list; index is where s is or would go.
  bool Find(std::wstring_view s, int& index) const;
  void Sort();
  void CustomSort(TStringListSortCompare compare);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  TDuplicates Duplicates = TDuplicates::dupIgnore;
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool v);
  // The list frees its objects when they are removed or the list is destroyed.
  bool OwnsObjects = false;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();
  int CompareStrings(std::wstring_view a, std::wstring_view b) const;

 private:
  struct Item {
    std::wstring s;
    TObject* obj = nullptr;
  };
  void InsertItem(int index, const std::wstring& s, TObject* obj);
  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
};

}  // namespace kivo
