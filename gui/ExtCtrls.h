// Timers and panels.
#pragma once

#include <memory>

#include "Forms.h"
#include "Strings.h"

namespace kivo {

// A window timer (identifier 1 on its own hidden window) firing OnTimer every Interval ms.
class TTimer : public TComponent {
  KIVO_CLASS(TTimer, TComponent)
  static void Publish(TPublisher<TTimer>& p);
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT ms);
  void SetOnTimer(TNotifyEvent handler);
  const TNotifyEvent& OnTimer() const { return onTimer_; }

 private:
  void UpdateTimer();
  void Handle(TMessage& m);
  bool enabled_ = true;
  UINT interval_ = 1000;
  TNotifyEvent onTimer_;
  std::unique_ptr<TUtilWindow> window_;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// A panel: a container that paints its colour, bevels and caption.
class TCustomPanel : public TCustomControl {
  KIVO_CLASS(TCustomPanel, TCustomControl)
  explicit TCustomPanel(TComponent* owner);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut b);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int w);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 protected:
  void Paint() override;
  void WndProc(TMessage& m) override;

 private:
  TBevelCut bevelOuter_ = TBevelCut::bvRaised;
  TBevelCut bevelInner_ = TBevelCut::bvNone;
  int bevelWidth_ = 1;
  TAlignment alignment_ = TAlignment::taCenter;
};

class TPanel : public TCustomPanel {
  KIVO_CLASS(TPanel, TCustomPanel)
  static void Publish(TPublisher<TPanel>& p);
  using TCustomPanel::TCustomPanel;
};

// A page of a notebook; its caption is the page's name.
class TPage : public TCustomControl {
  KIVO_CLASS(TPage, TCustomControl)
  static void Publish(TPublisher<TPage>& p);
  explicit TPage(TComponent* owner);
};

// Named pages, one shown at a time, filling the notebook. Pages (a string list of the names,
// with the TPage objects as objects) adds, renames and removes pages.
class TNotebook : public TCustomControl {
  KIVO_CLASS(TNotebook, TCustomControl)
  static void Publish(TPublisher<TNotebook>& p);
  explicit TNotebook(TComponent* owner);
  ~TNotebook() override;
  TStrings* Pages() const { return pages_.get(); }
  void SetPages(TStrings* s) { pages_->Assign(s); }
  int PageCount() const;
  TPage* Page(int index) const;
  // The page of that name (ignoring case), or nullptr.
  TPage* FindPage(std::wstring_view name) const;
  int PageIndex() const { return pageIndex_; }
  void SetPageIndex(int i);
  std::wstring ActivePage() const;
  void SetActivePage(const std::wstring& name);
  TNotifyEvent OnPageChanged;

 private:
  class TPageList;
  friend class TPageList;
  void ShowPage();
  std::unique_ptr<TStrings> pages_;
  std::vector<TPage*> list_;
  int pageIndex_ = -1;
};

}  // namespace kivo
