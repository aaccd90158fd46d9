#include "forms/Zarvek.LayoutManager.Control.h"

#include <algorithm>
#include <charconv>

#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.Control.h"
#include "forms/Zarvek.Forms.Form.h"
#include "forms/Zarvek.LayoutManager.Form.h"

namespace vantrel {

namespace {

// Runs one entry's save or restore between BeginAccess and EndAccess; EndAccess also runs when
// the work fails, and the failure then goes on.
template <typename TWork>
void ThenEndAccess(ILayoutManagerStorage& AStorage, TWork&& AWork) {
  try {
    AWork();
  } catch (...) {
    try {
      AStorage.EndAccess();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  AStorage.EndAccess();
}

// Runs one entry's save or restore between BeginAccess and EndAccess; EndAccess also runs when
// the work fails, and the failure then goes on.
template <typename TWork>
void WithAccess(ILayoutManagerStorage& AStorage, bool ARead, TWork&& AWork) {
  ThenEndAccess(AStorage, [&] {
    AStorage.BeginAccess(ARead);
    AWork();
  });
}

bool SameName(const std::wstring& A, const std::wstring& B) {
  return CompareStringOrdinal(A.c_str(), static_cast<int>(A.size()), B.c_str(), static_cast<int>(B.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring IntPair(int A, int B) { return IntToStr(A) + L"," + IntToStr(B); }

// "a,b" split at the first comma; a half that is no number keeps its current value. False for
// an empty text or one without a comma.
bool ParseIntPair(const std::wstring& AText, int& A, int& B) {
  size_t comma = AText.find(L',');
  if (AText.empty() || comma == std::wstring::npos) return false;
  int32_t value = 0;
  if (TryStrToInt(std::wstring_view(AText).substr(0, comma), value)) A = value;
  if (TryStrToInt(std::wstring_view(AText).substr(comma + 1), value)) B = value;
  return true;
}

using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

TGetDpiForMonitor GetDpiForMonitorFunction() {
  static TGetDpiForMonitor function = [] {
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    return shcore ? reinterpret_cast<TGetDpiForMonitor>(GetProcAddress(shcore, "GetDpiForMonitor")) : nullptr;
  }();
  return function;
}

int MonitorDpi(HWND AWindow) {
  if (TGetDpiForMonitor getDpi = GetDpiForMonitorFunction()) {
    UINT dpiX = 0, dpiY = 0;
    constexpr int kEffectiveDpi = 0;
    if (FAILED(getDpi(MonitorFromWindow(AWindow, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &dpiX, &dpiY))) return 0;
    return static_cast<int>(dpiX);
  }
  TWindowDC screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

bool IsOrdinal(TPropertyKind AKind) {
  return AKind == TPropertyKind::pkInteger || AKind == TPropertyKind::pkEnumeration || AKind == TPropertyKind::pkSet ||
         AKind == TPropertyKind::pkInt64;
}

// The "Align" of a component that publishes one; alNone (0) for the others.
int64_t AlignOf(const TComponent& AComponent) {
  const TPropInfo* align = AComponent.FindProperty(L"Align");
  return align && IsOrdinal(align->Kind) && align->GetOrd ? align->GetOrd() : 0;
}

void RestoreAlign(ILayoutManagerStorage& AStorage, const std::wstring& ASection, TComponent& AComponent) {
  const TPropInfo* align = AComponent.FindProperty(L"Align");
  int64_t current = AlignOf(AComponent);
  int64_t value = AStorage.ReadInteger(ASection, L"Align", current);
  if (align && IsOrdinal(align->Kind) && align->SetOrd && value != current) align->SetOrd(value);
}

// The forms of the application, found through the top-level windows of this thread.
BOOL CALLBACK CollectForm(HWND AWindow, LPARAM AData) {
  if (TForm* form = Application().FindForm(AWindow)) reinterpret_cast<std::vector<TForm*>*>(AData)->push_back(form);
  return TRUE;
}

TForm* FindApplicationForm(const std::wstring& AName) {
  std::vector<TForm*> forms;
  EnumThreadWindows(GetCurrentThreadId(), CollectForm, reinterpret_cast<LPARAM>(&forms));
  for (TForm* form : forms) {
    if (!AName.empty() && SameTextAscii(form->Name(), AName)) return form;
  }
  return nullptr;
}

}  // namespace

std::wstring LayoutDesktopTag(HWND AWindow) {
  return L"(" + IntToStr(GetSystemMetrics(SM_CXVIRTUALSCREEN)) + L"x" + IntToStr(GetSystemMetrics(SM_CYVIRTUALSCREEN)) +
         L"x" + IntToStr(MonitorDpi(AWindow)) + L")";
}

// ---- TLayoutManagerControlLayout ----

std::wstring TLayoutManagerControlLayout::Section() const {
  if (!FControl || !FControl->Component()) return {};
  return FControl->Section() + L"\\Layout";
}

ILayoutManagerStorage* TLayoutManagerControlLayout::Storage() const {
  return FControl ? FControl->Storage().get() : nullptr;
}

void TLayoutManagerControlLayout::DeleteData() {
  ILayoutManagerStorage* storage = Storage();
  std::wstring section = Section();
  if (storage && !section.empty()) storage->EraseSection(section);
}

// ---- TLayoutManagerControl ----

TLayoutManagerControl::TLayoutManagerControl(TLayoutManager* ALM, TComponent* AComponent, const TStringList& AProps)
    : FComponent(AComponent), FLM(ALM) {
  for (const std::wstring& name : AProps) {
    if (name.empty()) continue;
    auto place = std::lower_bound(FProps.begin(), FProps.end(), name, [](const std::wstring& A, const std::wstring& B) {
      return CompareStringOrdinal(A.c_str(), static_cast<int>(A.size()), B.c_str(), static_cast<int>(B.size()),
                                  TRUE) == CSTR_LESS_THAN;
    });
    if (place != FProps.end() && SameName(*place, name)) continue;
    FProps.insert(place, name);
  }
  if (FComponent) FComponent->FreeNotification(this);
}

TLayoutManagerControl::~TLayoutManagerControl() {
  if (FComponent) FComponent->RemoveFreeNotification(this);
}

void TLayoutManagerControl::ComponentFreed(TComponent* AComponent) {
  if (AComponent == FComponent) FComponent = nullptr;
}

bool TLayoutManagerControl::IsWindowed() const { return FComponent && FComponent->WindowHandle(); }

void TLayoutManagerControl::SetOptions(TLayoutManagerControlOptions AOptions) {
  if (IsWindowed()) FOptions = AOptions;
}

void TLayoutManagerControl::SetLayout(std::unique_ptr<ILayoutManagerControlLayout> ALayout) {
  FLayout = std::move(ALayout);
  if (FLayout) FLayout->SetControl(this);
}

void TLayoutManagerControl::SetStorage(TLayoutManagerStorageRef AStorage) {
  if (AStorage == FStorage) return;
  TLayoutManagerStorageRef old = std::exchange(FStorage, std::move(AStorage));
  if (old) old->EndAccess();
}

std::wstring TLayoutManagerControl::Section() const {
  if (!FComponent) return {};
  if (dynamic_cast<const TForm*>(FComponent) || !FComponent->Owner()) return FComponent->ClassName();
  std::wstring section = FComponent->Name();
  for (const TComponent* owner = FComponent->Owner(); owner; owner = owner->Owner()) {
    section = owner->ClassName() + L"\\" + section;
    if (dynamic_cast<const TForm*>(owner)) break;
  }
  return section;
}

void TLayoutManagerControl::Save() {
  TLayoutManagerStorageRef storage = FStorage;
  if (!storage || !FComponent) return;
  std::wstring section = Section();
  WithAccess(*storage, false, [&] {
    if (IsWindowed()) {
      if (dynamic_cast<TForm*>(FComponent)) {
        SaveForm(*storage, section);
      } else {
        SaveWindowed(*storage, section);
      }
      if (FLayout) FLayout->Save();
    }
    SaveProps(*storage, section);
  });
}

void TLayoutManagerControl::Restore() {
  TLayoutManagerStorageRef storage = FStorage;
  if (!storage || !FComponent) return;
  std::wstring section = Section();
  WithAccess(*storage, true, [&] {
    if (IsWindowed()) {
      if (dynamic_cast<TForm*>(FComponent)) {
        RestoreForm(*storage, section);
      } else {
        RestoreWindowed(*storage, section);
      }
      if (FLayout && FComponent) FLayout->Restore();
    }
    if (FComponent) RestoreProps(*storage, section);
  });
}

void TLayoutManagerControl::DeleteData() {
  TLayoutManagerStorageRef storage = FStorage;
  if (!storage || !FComponent) return;
  std::wstring section = Section();
  // String lists live in sections of their own below the entry's.
  for (const std::wstring& name : FProps) {
    const TPropInfo* info = FComponent->FindProperty(name);
    if (info && info->Kind == TPropertyKind::pkClass && info->GetObject &&
        dynamic_cast<TStrings*>(info->GetObject())) {
      storage->EraseSection(section + L"\\" + info->Name);
    }
  }
  if (FLayout) FLayout->DeleteData();
  storage->EraseSection(section);
}

void TLayoutManagerControl::SaveForm(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  auto& form = static_cast<TForm&>(*FComponent);
  auto* lmForm = dynamic_cast<TLMForm*>(FComponent);
  TWindowState state = form.WindowState();
  bool normal = state == TWindowState::wsNormal;
  std::wstring desktop = LayoutDesktopTag(form.Handle());
  using enum TLayoutManagerControlOption;
  if (FOptions.Contains(loSize) && normal) {
    AStorage.WriteString(ASection, L"Size" + desktop, IntPair(form.Width(), form.Height()));
  }
  if (FOptions.Contains(loPosition)) {
    if (normal) AStorage.WriteString(ASection, L"Pos" + desktop, IntPair(form.Left(), form.Top()));
    AStorage.WriteInteger(ASection, L"Align", AlignOf(form));
  }
  if (FOptions.Contains(loState) && state != TWindowState::wsMinimized) {
    // A multi-document child on its way out is not maximized the next time just because its
    // frame closes all children maximized.
    bool closingChild = FormStyleOf(form.Handle()) == TFormStyle::fsMDIChild && lmForm && lmForm->Closing();
    if (!closingChild) AStorage.WriteInteger(ASection, L"State", static_cast<int64_t>(state));
  }
  if (FOptions.Contains(loStyle)) {
    AStorage.WriteInteger(ASection, L"Style", static_cast<int64_t>(FormStyleOf(form.Handle())));
  }
  if (lmForm) AStorage.WriteBool(ASection, L"LayoutReadOnly", lmForm->LayoutReadOnly());
}

void TLayoutManagerControl::RestoreForm(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  auto& form = static_cast<TForm&>(*FComponent);
  std::wstring desktop = LayoutDesktopTag(form.Handle());
  using enum TLayoutManagerControlOption;
  if (FOptions.Contains(loPosition)) {
    RestoreAlign(AStorage, ASection, form);
    int left = form.Left(), top = form.Top();
    if (ParseIntPair(AStorage.ReadString(ASection, L"Pos" + desktop, IntPair(left, top)), left, top)) {
      if (left != form.Left() || top != form.Top()) form.SetBounds(left, top, form.Width(), form.Height());
    }
  }
  if (FOptions.Contains(loSize)) {
    int width = form.Width(), height = form.Height();
    if (ParseIntPair(AStorage.ReadString(ASection, L"Size" + desktop, IntPair(width, height)), width, height)) {
      if (width != form.Width() || height != form.Height()) form.SetBounds(form.Left(), form.Top(), width, height);
    }
  }
  if (FOptions.Contains(loState)) {
    if (AStorage.ValueExists(ASection, L"State")) {
      int64_t state = AStorage.ReadInteger(ASection, L"State", static_cast<int64_t>(form.WindowState()));
      // Anything but a known state is left alone.
      if (state >= 0 && state <= static_cast<int64_t>(TWindowState::wsMaximized)) {
        form.SetWindowState(static_cast<TWindowState>(state));
      }
    } else if (FormStyleOf(form.Handle()) == TFormStyle::fsMDIChild) {
      form.SetWindowState(TWindowState::wsMaximized);
    }
  }
  if (FOptions.Contains(loStyle) && Application().MainForm() != &form && AStorage.ValueExists(ASection, L"Style")) {
    int64_t style = AStorage.ReadInteger(ASection, L"Style", static_cast<int64_t>(FormStyleOf(form.Handle())));
    if (style >= 0 && style <= static_cast<int64_t>(TFormStyle::fsStayOnTop)) {
      SetFormStyleOf(form.Handle(), static_cast<TFormStyle>(style));
    }
  }
  if (auto* lmForm = dynamic_cast<TLMForm*>(FComponent)) {
    lmForm->SetLayoutReadOnly(AStorage.ReadBool(ASection, L"LayoutReadOnly", lmForm->LayoutReadOnly()));
  }
}

void TLayoutManagerControl::SaveWindowed(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  HWND window = FComponent->WindowHandle();
  RECT bounds = ControlBounds(window);
  using enum TLayoutManagerControlOption;
  if (FOptions.Contains(loSize)) {
    AStorage.WriteInteger(ASection, L"Width", bounds.right - bounds.left);
    AStorage.WriteInteger(ASection, L"Height", bounds.bottom - bounds.top);
  }
  if (FOptions.Contains(loPosition)) {
    AStorage.WriteInteger(ASection, L"Align", AlignOf(*FComponent));
    AStorage.WriteInteger(ASection, L"Left", bounds.left);
    AStorage.WriteInteger(ASection, L"Top", bounds.top);
  }
  if (FOptions.Contains(loState)) {
    AStorage.WriteBool(ASection, L"Visible", ControlVisible(window));
    AStorage.WriteBool(ASection, L"Enabled", ControlEnabled(window));
  }
}

void TLayoutManagerControl::RestoreWindowed(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  HWND window = FComponent->WindowHandle();
  RECT bounds = ControlBounds(window);
  int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  using enum TLayoutManagerControlOption;
  if (FOptions.Contains(loSize)) {
    width = static_cast<int>(AStorage.ReadInteger(ASection, L"Width", width));
    height = static_cast<int>(AStorage.ReadInteger(ASection, L"Height", height));
  }
  if (FOptions.Contains(loPosition)) {
    // The alignment first: it may move the control, and the stored place then has the last word.
    RestoreAlign(AStorage, ASection, *FComponent);
    bounds = ControlBounds(window);
    bounds.left = static_cast<LONG>(AStorage.ReadInteger(ASection, L"Left", bounds.left));
    bounds.top = static_cast<LONG>(AStorage.ReadInteger(ASection, L"Top", bounds.top));
  }
  if (FOptions.Contains(loSize) || FOptions.Contains(loPosition)) {
    SetControlBounds(window, {bounds.left, bounds.top, bounds.left + width, bounds.top + height});
  }
  if (FOptions.Contains(loState)) {
    SetControlVisible(window, AStorage.ReadBool(ASection, L"Visible", ControlVisible(window)));
    SetControlEnabled(window, AStorage.ReadBool(ASection, L"Enabled", ControlEnabled(window)));
  }
}

std::wstring TLayoutManagerControl::ReferenceText(const TPersistent* AObject) const {
  if (!AObject) return {};
  auto* component = dynamic_cast<const TComponent*>(AObject);
  if (!component) return AObject->GetNamePath();
  std::wstring entryOwner = FComponent->Owner() ? FComponent->Owner()->Name() : std::wstring();
  if (component->Owner() && !SameTextAscii(component->Owner()->Name(), entryOwner)) {
    return component->Owner()->Name() + L"." + component->Name();
  }
  return component->Name();
}

TComponent* TLayoutManagerControl::FindReference(const std::wstring& AText) const {
  size_t dot = AText.find(L'.');
  if (dot != std::wstring::npos) {
    TForm* form = FindApplicationForm(AText.substr(0, dot));
    return form ? form->FindComponent(std::wstring_view(AText).substr(dot + 1)) : nullptr;
  }
  for (const TComponent* place : {FComponent->Owner(), FLM->Owner(), static_cast<TComponent*>(Application().MainForm())}) {
    if (TComponent* found = place ? place->FindComponent(AText) : nullptr) return found;
  }
  // A form is owned by the application.
  return FindApplicationForm(AText);
}

void TLayoutManagerControl::SaveProps(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  for (const std::wstring& name : FProps) {
    const TPropInfo* info = FComponent->FindProperty(name);
    if (!info) continue;
    switch (info->Kind) {
      case TPropertyKind::pkInteger:
      case TPropertyKind::pkEnumeration:
      case TPropertyKind::pkSet:
      case TPropertyKind::pkInt64:
        if (info->GetOrd) AStorage.WriteInteger(ASection, info->Name, info->GetOrd());
        break;
      case TPropertyKind::pkChar:
        if (info->GetOrd) {
          AStorage.WriteString(ASection, info->Name, std::wstring(1, static_cast<wchar_t>(info->GetOrd())));
        }
        break;
      case TPropertyKind::pkString:
        if (info->GetStr) AStorage.WriteString(ASection, info->Name, info->GetStr());
        break;
      case TPropertyKind::pkFloat:
        if (info->GetFloat) AStorage.WriteFloat(ASection, info->Name, info->GetFloat());
        break;
      case TPropertyKind::pkClass: {
        if (!info->GetObject) break;
        TPersistent* object = info->GetObject();
        if (!object) {
          AStorage.DeleteValue(ASection, info->Name);
        } else if (auto* strings = dynamic_cast<TStrings*>(object)) {
          std::wstring listSection = ASection + L"\\" + info->Name;
          // An emptied list must not come back with its old lines.
          AStorage.EraseSection(listSection);
          if (!strings->Lines.empty()) {
            AStorage.WriteInteger(listSection, L"Count", static_cast<int64_t>(strings->Lines.size()));
            for (size_t i = 0; i < strings->Lines.size(); ++i) {
              AStorage.WriteString(listSection, UIntToStr(i), strings->Lines[i]);
            }
          }
        } else {
          AStorage.WriteString(ASection, info->Name, ReferenceText(object));
        }
        break;
      }
    }
  }
}

void TLayoutManagerControl::RestoreProps(ILayoutManagerStorage& AStorage, const std::wstring& ASection) {
  for (const std::wstring& name : FProps) {
    if (!FComponent) return;
    const TPropInfo* info = FComponent->FindProperty(name);
    if (!info) continue;
    switch (info->Kind) {
      case TPropertyKind::pkInteger:
      case TPropertyKind::pkEnumeration:
      case TPropertyKind::pkSet:
      case TPropertyKind::pkInt64:
        if (info->GetOrd && info->SetOrd) info->SetOrd(AStorage.ReadInteger(ASection, info->Name, info->GetOrd()));
        break;
      case TPropertyKind::pkChar:
        if (info->GetOrd && info->SetOrd) {
          std::wstring text =
              AStorage.ReadString(ASection, info->Name, std::wstring(1, static_cast<wchar_t>(info->GetOrd())));
          if (!text.empty()) info->SetOrd(static_cast<int64_t>(static_cast<uint16_t>(text[0])));
        }
        break;
      case TPropertyKind::pkString:
        if (info->GetStr && info->SetStr) info->SetStr(AStorage.ReadString(ASection, info->Name, info->GetStr()));
        break;
      case TPropertyKind::pkFloat:
        if (info->GetFloat && info->SetFloat) {
          info->SetFloat(AStorage.ReadFloat(ASection, info->Name, info->GetFloat()));
        }
        break;
      case TPropertyKind::pkClass: {
        if (!info->GetObject) break;
        TPersistent* object = info->GetObject();
        if (auto* strings = dynamic_cast<TStrings*>(object)) {
          std::wstring listSection = ASection + L"\\" + info->Name;
          int64_t count = AStorage.ReadInteger(listSection, L"Count", 0);
          // A damaged count stops at the first line that is not there.
          for (int64_t i = 0; i < count; ++i) {
            std::wstring lineName = IntToStr(i);
            if (!AStorage.ValueExists(listSection, lineName)) break;
            strings->Lines.push_back(AStorage.ReadString(listSection, lineName, {}));
          }
        } else if (info->SetObject) {
          std::wstring text = AStorage.ReadString(ASection, info->Name, ReferenceText(object));
          if (text.empty()) break;
          TComponent* found = FindReference(text);
          if (found && found != object && (!info->Accepts || info->Accepts(found))) info->SetObject(found);
        }
        break;
      }
    }
  }
}

// ---- Values ----

std::wstring VariantToText(const TLayoutManagerVariant& AValue) {
  struct TVisitor {
    std::wstring operator()(std::monostate) const { return {}; }
    std::wstring operator()(int64_t AValue) const { return IntToStr(AValue); }
    std::wstring operator()(double AValue) const {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof(buffer), AValue);
      return std::wstring(buffer, result.ptr);
    }
    std::wstring operator()(TDateTime AValue) const { return (*this)(AValue.Value); }
    std::wstring operator()(bool AValue) const { return AValue ? L"True" : L"False"; }
    std::wstring operator()(const std::wstring& AValue) const { return AValue; }
  };
  return std::visit(TVisitor{}, AValue);
}

std::wstring TLayoutManagerCipherer::EncryptText(const std::wstring& AText, const std::wstring& AKey) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::string text = WideToCodePage(AText, CP_ACP);
  std::string key = WideToCodePage(AKey, CP_ACP);
  std::wstring result;
  result.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<uint8_t>(text[i]);
    // Text byte i + 1 (counted from 1) meets key byte ((i + 1) mod length) + 1.
    if (!key.empty()) byte ^= static_cast<uint8_t>(key[(i + 1) % key.size()]);
    result += kDigits[byte >> 4];
    result += kDigits[byte & 0x0F];
  }
  return result;
}

std::wstring TLayoutManagerCipherer::DecryptText(const std::wstring& AText, const std::wstring& AKey) {
  auto digit = [](wchar_t C) -> int {
    if (C >= L'0' && C <= L'9') return C - L'0';
    if (C >= L'A' && C <= L'F') return C - L'A' + 10;
    if (C >= L'a' && C <= L'f') return C - L'a' + 10;
    return -1;
  };
  if (AText.size() % 2 != 0) return {};
  std::string key = WideToCodePage(AKey, CP_ACP);
  std::string bytes;
  bytes.reserve(AText.size() / 2);
  for (size_t i = 0; i < AText.size(); i += 2) {
    int high = digit(AText[i]), low = digit(AText[i + 1]);
    if (high < 0 || low < 0) return {};
    auto byte = static_cast<uint8_t>(high * 16 + low);
    size_t position = i / 2;
    if (!key.empty()) byte ^= static_cast<uint8_t>(key[(position + 1) % key.size()]);
    bytes += static_cast<char>(byte);
  }
  // Back through the code page the text was encrypted in, so that every character that went in
  // comes out again.
  return CodePageToWide(bytes, CP_ACP);
}

void TLayoutManagerValue::SetName(const std::wstring& AName) {
  if (AName == FName) return;
  if (FOwner) {
    TLayoutManagerValue* other = FOwner->Find(AName);
    if (other && other != this) throw ELayoutManager(L"TLayoutManagerValue: Duplicates not allowed");
  }
  FName = AName;
}

void TLayoutManagerValue::Save(ILayoutManagerStorage& AStorage, const std::wstring& ASection,
                               ILayoutManagerCipherer& ACipherer) const {
  if (!FKey.empty()) {
    AStorage.WriteString(ASection, FName, ACipherer.EncryptText(VariantToText(FValue), FKey));
    return;
  }
  struct TVisitor {
    ILayoutManagerStorage& Storage;
    const std::wstring& Section;
    const std::wstring& Name;
    void operator()(std::monostate) const { Storage.WriteString(Section, Name, {}); }
    void operator()(int64_t AValue) const { Storage.WriteInteger(Section, Name, AValue); }
    void operator()(double AValue) const { Storage.WriteFloat(Section, Name, AValue); }
    void operator()(TDateTime AValue) const { Storage.WriteDateTime(Section, Name, AValue.Value); }
    void operator()(bool AValue) const { Storage.WriteBool(Section, Name, AValue); }
    void operator()(const std::wstring& AValue) const { Storage.WriteString(Section, Name, AValue); }
  };
  std::visit(TVisitor{AStorage, ASection, FName}, FValue);
}

void TLayoutManagerValue::Restore(ILayoutManagerStorage& AStorage, const std::wstring& ASection,
                                  ILayoutManagerCipherer& ACipherer) {
  if (!FKey.empty()) {
    std::wstring stored = AStorage.ReadString(ASection, FName, ACipherer.EncryptText(VariantToText(FValue), FKey));
    std::wstring text = ACipherer.DecryptText(stored, FKey);
    // A damaged stored text decrypts to nothing; the value in hand is then kept.
    if (!text.empty() || stored.empty()) FValue = std::move(text);
    return;
  }
  struct TVisitor {
    ILayoutManagerStorage& Storage;
    const std::wstring& Section;
    const std::wstring& Name;
    TLayoutManagerVariant operator()(std::monostate) const {
      if (!Storage.ValueExists(Section, Name)) return std::monostate{};
      return Storage.ReadString(Section, Name, {});
    }
    TLayoutManagerVariant operator()(int64_t AValue) const { return Storage.ReadInteger(Section, Name, AValue); }
    TLayoutManagerVariant operator()(double AValue) const { return Storage.ReadFloat(Section, Name, AValue); }
    TLayoutManagerVariant operator()(TDateTime AValue) const {
      return TDateTime{Storage.ReadDateTime(Section, Name, AValue.Value)};
    }
    TLayoutManagerVariant operator()(bool AValue) const { return Storage.ReadBool(Section, Name, AValue); }
    TLayoutManagerVariant operator()(const std::wstring& AValue) const {
      return Storage.ReadString(Section, Name, AValue);
    }
  };
  FValue = std::visit(TVisitor{AStorage, ASection, FName}, FValue);
}

TLayoutManagerValues::TLayoutManagerValues() : FCipherer(std::make_shared<TLayoutManagerCipherer>()) {}

void TLayoutManagerValues::SetCipherer(std::shared_ptr<ILayoutManagerCipherer> ACipherer) {
  FCipherer = ACipherer ? std::move(ACipherer) : std::make_shared<TLayoutManagerCipherer>();
}

TLayoutManagerValue& TLayoutManagerValues::Add(const std::wstring& AName) {
  if (!AName.empty() && Find(AName)) throw ELayoutManager(L"TLayoutManagerValue: Duplicates not allowed");
  FItems.push_back(std::unique_ptr<TLayoutManagerValue>(new TLayoutManagerValue(this)));
  FItems.back()->FName = AName;
  return *FItems.back();
}

int TLayoutManagerValues::IndexOf(const std::wstring& AName) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (SameName(FItems[i]->Name(), AName)) return static_cast<int>(i);
  }
  return -1;
}

TLayoutManagerValue* TLayoutManagerValues::Find(const std::wstring& AName) const {
  int index = IndexOf(AName);
  return index < 0 ? nullptr : FItems[static_cast<size_t>(index)].get();
}

void TLayoutManagerValues::Delete(int AIndex) {
  if (AIndex >= 0 && AIndex < Count()) FItems.erase(FItems.begin() + AIndex);
}

void TLayoutManagerValues::Save(ILayoutManagerStorage& AStorage) {
  for (const auto& value : FItems) {
    // A value without a name has no place in the storage.
    if (value->Name().empty()) continue;
    ThenEndAccess(AStorage, [&] { value->Save(AStorage, FSection, *FCipherer); });
  }
}

void TLayoutManagerValues::Restore(ILayoutManagerStorage& AStorage) {
  for (const auto& value : FItems) {
    if (value->Name().empty()) continue;
    ThenEndAccess(AStorage, [&] { value->Restore(AStorage, FSection, *FCipherer); });
  }
}

// ---- TLayoutManager ----

TLayoutManager::TLayoutManager() : FValues(std::make_unique<TLayoutManagerValues>()) {}

TLayoutManager::~TLayoutManager() = default;

void TLayoutManager::SetStorage(TLayoutManagerStorageRef AStorage) {
  if (AStorage == FStorage) return;
  FStorage = std::move(AStorage);
  for (const auto& entry : FList) entry->SetStorage(FStorage);
}

int TLayoutManager::AddEntry(TComponent* AComponent, const TStringList& AProps) {
  FList.push_back(std::make_unique<TLayoutManagerControl>(this, AComponent, AProps));
  FList.back()->SetStorage(FStorage);
  return static_cast<int>(FList.size()) - 1;
}

int TLayoutManager::Add(TComponent* AControl, const TStringList& AProps, TLayoutManagerControlOptions AOptions,
                        const TLayoutManagerControlLayoutClass& ALayoutClass) {
  if (!AControl || !AControl->WindowHandle() || FindComponent(AControl) >= 0) return -1;
  int index = AddEntry(AControl, AProps);
  TLayoutManagerControl& entry = *FList.back();
  entry.SetOptions(AOptions);
  if (ALayoutClass) {
    entry.SetLayout(ALayoutClass());
    if (entry.Layout() && !FRO) entry.Layout()->SaveDefault(false);
  }
  return index;
}

int TLayoutManager::Add(TComponent* AComponent, const TStringList& AProps) {
  if (!AComponent || FindComponent(AComponent) >= 0) return -1;
  return AddEntry(AComponent, AProps);
}

void TLayoutManager::Delete(TComponent* AComponent) {
  int index = FindComponent(AComponent);
  if (index >= 0) FList.erase(FList.begin() + index);
}

void TLayoutManager::Clear(bool ADeleteData) {
  if (ADeleteData) {
    for (const auto& entry : FList) entry->DeleteData();
  }
  FList.clear();
}

int TLayoutManager::FindComponent(const TComponent* AComponent) const {
  if (!AComponent) return -1;
  for (size_t i = 0; i < FList.size(); ++i) {
    if (FList[i]->Component() == AComponent) return static_cast<int>(i);
  }
  return -1;
}

TLayoutManagerControl* TLayoutManager::GetControl(const TComponent* AComponent) const {
  int index = FindComponent(AComponent);
  return index < 0 ? nullptr : FList[static_cast<size_t>(index)].get();
}

void TLayoutManager::SetOptions(TComponent* AControl, TLayoutManagerControlOptions AOptions) {
  if (TLayoutManagerControl* entry = GetControl(AControl)) entry->SetOptions(AOptions);
}

void TLayoutManager::Save() {
  if (FRO || FRestoring || !FStorage) return;
  Raise(OnBeforeSave);
  // Handlers may register or remove entries: walk by index.
  for (size_t i = 0; i < FList.size(); ++i) FList[i]->Save();
  if (FStorage) FValues->Save(*FStorage);
  Raise(OnAfterSave);
}

void TLayoutManager::Save(TComponent* AComponent) {
  // Saving in the middle of a restore would store a half-restored layout.
  if (FRO || FRestoring) return;
  if (TLayoutManagerControl* entry = GetControl(AComponent)) entry->Save();
}

void TLayoutManager::Restore() {
  if (!FStorage) return;
  bool wasRestoring = std::exchange(FRestoring, true);
  try {
    Raise(OnBeforeRestore);
    for (size_t i = 0; i < FList.size(); ++i) FList[i]->Restore();
    if (FStorage) FValues->Restore(*FStorage);
    Raise(OnAfterRestore);
  } catch (...) {
    FRestoring = wasRestoring;
    throw;
  }
  FRestoring = wasRestoring;
}

void TLayoutManager::Restore(TComponent* AComponent) {
  if (TLayoutManagerControl* entry = GetControl(AComponent)) entry->Restore();
}

void TLayoutManager::DeleteData() {
  for (const auto& entry : FList) entry->DeleteData();
  if (FStorage) FStorage->EraseSection(FValues->Section());
}

void TLayoutManager::DeleteData(TComponent* AComponent) {
  if (TLayoutManagerControl* entry = GetControl(AComponent)) entry->DeleteData();
}

TLayoutManagerVariant TLayoutManager::GetValueByName(const std::wstring& AName) const {
  TLayoutManagerValue* value = FValues->Find(AName);
  return value ? value->Value() : TLayoutManagerVariant{};
}

void TLayoutManager::SetValueByName(const std::wstring& AName, TLayoutManagerVariant AValue) {
  TLayoutManagerValue* value = FValues->Find(AName);
  if (!value) value = &FValues->Add(AName);
  value->SetValue(std::move(AValue));
}

}  // namespace vantrel
