#include "forms/Zarvek_Dialogs.h"

namespace vantrel {

const wchar_t* const DefaultCaptions[5] = {L"Confirmation", L"Warning", L"Information", L"Error",
                                           L"Debug message"};

namespace {

std::function<HWND()>& OwnerProvider() {
  static std::function<HWND()> provider;
  return provider;
}

std::function<void()>& RestoreHandler() {
  static std::function<void()> handler;
  return handler;
}

TMessageBoxFunction& MessageBoxFunction() {
  static TMessageBoxFunction function;
  return function;
}

void ShowBox(std::wstring_view AText, std::wstring_view ACaption, bool ARestore, int ADefaultCaption,
             UINT AIcon) {
  if (ARestore && RestoreHandler()) RestoreHandler()();
  std::wstring caption = ACaption.empty() ? DefaultCaptions[ADefaultCaption] : std::wstring(ACaption);
  ShowMessageBox(MessageOwnerWindow(), std::wstring(AText), caption, MB_OK | AIcon);
}

}  // namespace

HWND MessageOwnerWindow() { return OwnerProvider() ? OwnerProvider()() : nullptr; }

void SetMessageOwnerProvider(std::function<HWND()> AProvider) { OwnerProvider() = std::move(AProvider); }

void SetRestoreApplicationHandler(std::function<void()> AHandler) { RestoreHandler() = std::move(AHandler); }

int ShowMessageBox(HWND AOwner, const std::wstring& AText, const std::wstring& ACaption, UINT AFlags) {
  if (MessageBoxFunction()) return MessageBoxFunction()(AOwner, AText, ACaption, AFlags);
  return MessageBoxW(AOwner, AText.c_str(), ACaption.c_str(), AFlags);
}

TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction AFunction) {
  return std::exchange(MessageBoxFunction(), std::move(AFunction));
}

void ErrorBox(std::wstring_view AText, std::wstring_view ACaption, bool ARestore) {
  ShowBox(AText, ACaption, ARestore, 3, MB_ICONERROR);
}

void InfoBox(std::wstring_view AText, std::wstring_view ACaption, bool ARestore) {
  ShowBox(AText, ACaption, ARestore, 2, MB_ICONINFORMATION);
}

}  // namespace vantrel
