// The message boxes through which the program reports errors and information.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <string>
#include <string_view>

namespace vantrel {

// Default captions by index: 0 "Confirmation", 1 "Warning", 2 "Information", 3 "Error", 4 "Debug message".
extern const wchar_t* const DefaultCaptions[5];

// ARestore first restores the application from its minimised state. An empty caption means the
// default one ("Error" or "Information").
void ErrorBox(std::wstring_view AText, std::wstring_view ACaption = {}, bool ARestore = false);
void InfoBox(std::wstring_view AText, std::wstring_view ACaption = {}, bool ARestore = false);

// The window that owns message boxes; supplied by the application layer.
HWND MessageOwnerWindow();
void SetMessageOwnerProvider(std::function<HWND()> AProvider);
// Called by ARestore before a box shows; supplied by the application layer.
void SetRestoreApplicationHandler(std::function<void()> AHandler);

// Every message box of the program goes through this function, so tests can watch them.
using TMessageBoxFunction =
    std::function<int(HWND AOwner, const std::wstring& AText, const std::wstring& ACaption, UINT AFlags)>;
int ShowMessageBox(HWND AOwner, const std::wstring& AText, const std::wstring& ACaption, UINT AFlags);
// Replaces the function; returns the previous one. An empty function restores MessageBoxW.
TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction AFunction);

}  // namespace vantrel
