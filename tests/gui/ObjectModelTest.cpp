// The object model: class identity, published properties by name, ownership and notification,
// two-phase construction, interfaced objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Strings.h"

using namespace kivo;

namespace {

// A component that records what it is told.
class TWatcher : public TComponent {
  KIVO_CLASS(TWatcher, TComponent)
  using TComponent::TComponent;
  std::vector<std::wstring> Log;
  int LoadedCalls = 0;
  bool LoadingInConstructor = false;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    Log.push_back((op == TOperation::opInsert ? L"+" : L"-") + c->Name());
  }
  void Loaded() override {
    TComponent::Loaded();
    ++LoadedCalls;
  }
};
KIVO_IMPLEMENT_CLASS(TWatcher)

// Published properties of every kind, as a control class declares them.
enum class TShape { stCircle, stSquare, stTriangle };
class TSample : public TComponent {
  KIVO_CLASS(TSample, TComponent)
  static void Publish(TPublisher<TSample>& p) {
    p.Integer(L"Count", &TSample::Count, &TSample::SetCount);
    p.Boolean(L"Flat", &TSample::Flat, &TSample::SetFlat);
    p.Enumeration(L"Shape", {L"stCircle", L"stSquare", L"stTriangle"}, &TSample::Shape, &TSample::SetShape);
    p.Set(L"Sides", {L"sdLeft", L"sdTop", L"sdRight", L"sdBottom"}, &TSample::Sides, &TSample::SetSides);
    p.String(L"Caption", &TSample::Caption, &TSample::SetCaption);
    p.Object(L"Font", &TSample::Font, &TSample::SetFont);
    p.Integer(L"ReadOnlyValue", &TSample::Count);
  }
  using TComponent::TComponent;
  int Count() const { return count_; }
  void SetCount(int v) { count_ = v; }
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { flat_ = v; }
  TShape Shape() const { return shape_; }
  void SetShape(TShape s) { shape_ = s; }
  uint8_t Sides() const { return sides_; }
  void SetSides(uint8_t s) { sides_ = s; }
  std::wstring Caption() const { return caption_; }
  void SetCaption(const std::wstring& s) { caption_ = s; }
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* f) { font_->Assign(f); }

 private:
  int count_ = 3;
  bool flat_ = false;
  TShape shape_ = TShape::stSquare;
  uint8_t sides_ = 0;
  std::wstring caption_;
  std::unique_ptr<TFont> font_ = std::make_unique<TFont>();
};
KIVO_IMPLEMENT_CLASS_PUBLISHED(TSample)

class TSampleChild : public TSample {
  KIVO_CLASS(TSampleChild, TSample)
  using TSample::TSample;
};
KIVO_IMPLEMENT_CLASS(TSampleChild)

TEST(ObjectModel, ClassNamesAndAncestryAnswerTheLibraryTree) {
  struct Case {
    std::wstring name;
    const TClassInfo& cls;
    std::vector<const wchar_t*> ancestors;
  };
  std::vector<Case> cases = {
      {L"TForm", TForm::StaticClass(), {L"TCustomForm", L"TScrollingWinControl", L"TWinControl", L"TControl", L"TComponent", L"TPersistent", L"TObject"}},
      {L"TFrame", TFrame::StaticClass(), {L"TCustomFrame", L"TScrollingWinControl", L"TWinControl"}},
      {L"TPanel", TPanel::StaticClass(), {L"TCustomPanel", L"TCustomControl", L"TWinControl", L"TControl"}},
      {L"TTimer", TTimer::StaticClass(), {L"TComponent"}},
      {L"TApplication", TApplication::StaticClass(), {L"TComponent"}},
      {L"TStringList", TStringList::StaticClass(), {L"TStrings", L"TPersistent"}},
      {L"TFont", TFont::StaticClass(), {L"TGraphicsObject", L"TPersistent"}},
      {L"TSampleChild", TSampleChild::StaticClass(), {L"TSample", L"TComponent"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.cls.Name(), c.name);
    for (const wchar_t* a : c.ancestors) {
      EXPECT_TRUE(c.cls.InheritsFrom(a)) << c.name.c_str() << " from " << a;
      EXPECT_TRUE(c.cls.InheritsFrom(LowerCase(a))) << "any letter case";
    }
    EXPECT_EQ(TClassInfo::Find(c.name), &c.cls);
  }
  EXPECT_FALSE(TPanel::StaticClass().InheritsFrom(L"TCustomForm"));
  EXPECT_FALSE(TForm::StaticClass().InheritsFrom(TGraphicControl::StaticClass()));
  EXPECT_FALSE(TComponent::StaticClass().InheritsFrom(L"TControl"));

  // an object answers its most derived class
  TSampleChild obj(nullptr);
  TComponent* asBase = &obj;
  EXPECT_EQ(asBase->ClassName(), L"TSampleChild");
  EXPECT_TRUE(asBase->Is<TSample>());
  EXPECT_FALSE(asBase->Is<TControl>());
}

TEST(ObjectModel, PublishedPropertiesAreReadAndWrittenByNameAndKind) {
  TSampleChild s(nullptr);
  // inherited table, names in any letter case
  EXPECT_EQ(GetOrdProp(&s, L"count"), 3);
  EXPECT_EQ(GetEnumProp(&s, L"Flat"), L"False");
  EXPECT_EQ(GetEnumProp(&s, L"Shape"), L"stSquare");
  SetPropValue(&s, L"Flat", L"True");
  SetPropValue(&s, L"Shape", L"sttriangle");
  SetPropValue(&s, L"Count", L"$1F");
  SetPropValue(&s, L"Sides", L"[sdLeft, sdBottom]");
  SetPropValue(&s, L"Caption", L"相册");
  EXPECT_TRUE(s.Flat());
  EXPECT_EQ(s.Shape(), TShape::stTriangle);
  EXPECT_EQ(s.Count(), 31);
  EXPECT_EQ(s.Sides(), 0x9);
  EXPECT_EQ(GetSetProp(&s, L"Sides"), L"[sdLeft,sdBottom]");
  EXPECT_EQ(GetStrProp(&s, L"Caption"), L"相册");
  EXPECT_EQ(GetPropValue(&s, L"Count"), L"31");
  EXPECT_EQ(GetPropInfo(&s, L"Shape")->Kind, TTypeKind::tkEnumeration);
  EXPECT_EQ(GetPropInfo(&s, L"Font")->Kind, TTypeKind::tkClass);
  // object properties answer only for the asked class
  EXPECT_EQ(GetObjectProp(&s, L"Font", &TFont::StaticClass()), s.Font());
  EXPECT_EQ(GetObjectProp(&s, L"Font", &TBrush::StaticClass()), nullptr);
  TFont bold;
  bold.SetStyle(fsBold);
  SetObjectProp(&s, L"Font", &bold);
  EXPECT_EQ(s.Font()->Style(), fsBold);  // assigned, not adopted
  EXPECT_NE(s.Font(), &bold);
  // Name and Tag come from TComponent
  SetPropValue(&s, L"Tag", L"99");
  EXPECT_EQ(s.Tag(), 99);

  // errors: missing property, malformed number, unknown value name, wrong kind, read-only
  EXPECT_FALSE(IsPublishedProp(&s, L"Missing"));
  EXPECT_THROW(GetOrdProp(&s, L"Missing"), EPropertyError);
  EXPECT_THROW(SetPropValue(&s, L"Count", L"12x"), EConvertError);
  EXPECT_THROW(SetPropValue(&s, L"Shape", L"stHexagon"), EPropertyError);
  EXPECT_THROW(GetStrProp(&s, L"Count"), EPropertyError);
  EXPECT_THROW(SetOrdProp(&s, L"ReadOnlyValue", 1), EPropertyError);
  EXPECT_EQ(s.Count(), 31);

  // the library's own controls publish what the skin engine reads
  TPanel panel(nullptr);
  EXPECT_EQ(GetEnumProp(&panel, L"ParentBackground"), L"True");
  SetPropValue(&panel, L"ParentBackground", L"False");
  EXPECT_FALSE(panel.ParentBackground());
  SetPropValue(&panel, L"Color", IntToStr(0x2B2B2B));
  EXPECT_EQ(panel.Color(), 0x2B2B2B);
  EXPECT_EQ(GetOrdProp(&panel, L"Color"), 0x2B2B2B);
  SetPropValue(&panel, L"Caption", L"摄像头");
  EXPECT_EQ(panel.Caption(), L"摄像头");
  EXPECT_EQ(GetEnumProp(&panel, L"Align"), L"alNone");
  EXPECT_EQ(GetSetProp(&panel, L"Anchors"), L"[akLeft,akTop]");
  EXPECT_NE(GetObjectProp(&panel, L"Font", &TFont::StaticClass()), nullptr);
  TForm* form = new TForm(nullptr);
  EXPECT_EQ(GetEnumProp(form, L"AutoScroll"), L"True");
  SetPropValue(form, L"AutoScroll", L"False");
  EXPECT_FALSE(form->AutoScroll());
  EXPECT_EQ(GetEnumProp(form, L"BorderStyle"), L"bsSizeable");
  form->Free();
  DoneApplication();
}

TEST(ObjectModel, OwnersFreeTheirComponentsAndTellTheOthers) {
  auto* owner = new TWatcher(nullptr);
  auto* a = new TWatcher(nullptr);
  a->SetName(L"A");
  owner->InsertComponent(a);
  auto* b = new TWatcher(owner);
  b->SetName(L"B");
  auto* c = new TWatcher(owner);
  c->SetName(L"C");
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(owner->FindComponent(L"b"), b);
  // the owner hears of every insertion and removal, and passes it to what it owns
  b->Free();
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Log.back(), L"-B");
  EXPECT_EQ(c->Log.back(), L"-B");
  // names are unique within an owner and must be identifiers
  EXPECT_THROW(c->SetName(L"A"), EComponentError);
  EXPECT_THROW(c->SetName(L"1st"), EComponentError);
  EXPECT_EQ(c->Name(), L"C");

  // free notification across owners, both ways
  auto* outsider = new TWatcher(nullptr);
  outsider->SetName(L"Outsider");
  outsider->FreeNotification(c);
  c->Free();
  EXPECT_EQ(outsider->Log.back(), L"-C");
  outsider->FreeNotification(a);
  outsider->Free();  // a must not notify a freed outsider later
  a->Log.clear();
  // destroying the owner frees the rest, marking them as destroying first
  struct TProbe : TWatcher {
    TProbe(TComponent* o, bool* f) : TWatcher(o), owner(o), flag(f) {}
    ~TProbe() override { *flag = IsDestroying() && owner->IsDestroying() && Owner() == nullptr; }
    TComponent* owner;
    bool* flag;
  };
  bool sawDestroying = false;
  new TProbe(owner, &sawDestroying);
  owner->Free();
  EXPECT_TRUE(sawDestroying);
}

TEST(ObjectModel, AComponentRefusedByANewOwnerStaysWithItsOldOne) {
  auto* first = new TWatcher(nullptr);
  auto* second = new TWatcher(nullptr);
  (new TWatcher(first))->SetName(L"Same");
  auto* moving = new TWatcher(second);
  moving->SetName(L"Same");
  EXPECT_THROW(first->InsertComponent(moving), EComponentError);
  EXPECT_EQ(moving->Owner(), second);
  EXPECT_EQ(second->ComponentCount(), 1);
  EXPECT_EQ(first->ComponentCount(), 1);
  EXPECT_EQ(second->Log, (std::vector<std::wstring>{L"+"}));  // told of the insertion only
  first->Free();
  second->Free();  // frees moving as well
}

TEST(ObjectModel, ComponentsMadeWhileTheOwnerLoadsGetLoadedAfterIt) {
  // a root that loads: its constructor makes components, Create ends the loading
  class TRoot : public TWatcher {
   public:
    explicit TRoot(TComponent* owner) : TWatcher(owner) {
      SetLoading(true);
      Child = new TWatcher(this);
      Child->SetName(L"Child");
      ChildLoadingAtCreation = Child->IsLoading();
      Grand = new TWatcher(Child);
    }
    TWatcher* Child;
    TWatcher* Grand;
    bool ChildLoadingAtCreation = false;
  };
  TRoot* root = Create<TRoot>(nullptr);
  EXPECT_TRUE(root->ChildLoadingAtCreation);
  EXPECT_EQ(root->LoadedCalls, 1);
  EXPECT_EQ(root->Child->LoadedCalls, 1);
  EXPECT_EQ(root->Grand->LoadedCalls, 1);
  EXPECT_FALSE(root->IsLoading());
  EXPECT_FALSE(root->Child->IsLoading());
  // made later at run time: no loading, no Loaded
  auto* late = new TWatcher(root);
  EXPECT_FALSE(late->IsLoading());
  EXPECT_EQ(late->LoadedCalls, 0);
  EXPECT_EQ(root->ComponentState() & csDesigning, 0u);
  // DesignInfo and Tag are plain storage
  root->SetDesignInfo(888);
  root->SetTag(99);
  EXPECT_EQ(root->DesignInfo(), 888);
  EXPECT_EQ(root->Tag(), 99);
  root->Free();
}

// An interface with its own identifier.
struct IChangeNotify : public IUnknown {
  virtual void STDMETHODCALLTYPE Changed() = 0;
};
}  // namespace
__CRT_UUID_DECL(IChangeNotify, 0x6C1B1A52, 0x6E0F, 0x4C77, 0x9A, 0x55, 0x0B, 0x6F, 0x0D, 0x6B, 0x9E, 0x11)
namespace {

class TNotifier : public TInterfaced<IChangeNotify> {
 public:
  explicit TNotifier(bool* freed) : freed_(freed) {}
  ~TNotifier() override { *freed_ = true; }
  void STDMETHODCALLTYPE Changed() override { ++changes; }
  int changes = 0;

 private:
  bool* freed_;
};

TEST(ObjectModel, InterfacedObjectsLiveAsLongAsTheirReferences) {
  bool freed = false;
  {
    TComPtr<IChangeNotify> n(new TNotifier(&freed));
    EXPECT_EQ(static_cast<TNotifier*>(n.Get())->RefCount(), 1);
    TComPtr<IUnknown> unk;
    ASSERT_EQ(n->QueryInterface(IID_IUnknown, unk.PutVoid()), S_OK);
    TComPtr<IChangeNotify> again;
    ASSERT_EQ(unk->QueryInterface(__uuidof(IChangeNotify), again.PutVoid()), S_OK);
    EXPECT_EQ(again.Get(), n.Get());
    again->Changed();
    EXPECT_EQ(static_cast<TNotifier*>(n.Get())->changes, 1);
    TComPtr<IStream> none;
    EXPECT_EQ(n->QueryInterface(IID_IStream, none.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(static_cast<TNotifier*>(n.Get())->RefCount(), 3);
  }
  EXPECT_TRUE(freed);
}

TEST(ObjectModel, AssignCopiesOrRefusesWithAConversionError) {
  TFont a, b;
  a.SetName(L"WenQuanYi Micro Hei");
  a.SetSize(15);
  a.SetStyle(fsBold | fsItalic);
  a.SetColor(clRed);
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  b.Assign(&a);
  EXPECT_EQ(b.Name(), L"WenQuanYi Micro Hei");
  EXPECT_EQ(b.Size(), 15);
  EXPECT_EQ(b.Style(), fsBold | fsItalic);
  EXPECT_EQ(b.Color(), clRed);
  EXPECT_GE(changes, 1);
  LOGFONTW lf{};
  ::GetObjectW(b.Handle(), sizeof(lf), &lf);
  EXPECT_EQ(lf.lfHeight, -20);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  TStringList list;
  EXPECT_THROW(b.Assign(&list), EConvertError);
  EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

}  // namespace
