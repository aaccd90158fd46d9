// Scintilla behind a member object: the direct function and pointer, and typed calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "Scintilla.h"

namespace vantrel {

class TScintilla {
 public:
  // Creates the editor as a child window of AParent.
  TScintilla(HWND AParent, int AId, DWORD AStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  ~TScintilla();
  TScintilla(const TScintilla&) = delete;
  TScintilla& operator=(const TScintilla&) = delete;

  HWND Handle() const { return FHandle; }

  // Any message, through the direct function.
  intptr_t Call(unsigned AMessage, uintptr_t AWParam = 0, intptr_t ALParam = 0) const;

  // Text in UTF-16; the editor keeps UTF-8. The whole text, NUL characters included: the editor
  // shows a NUL as a marked "NUL".
  void SetText(std::wstring_view AText);
  void SetUtf8Text(std::string_view AText);
  std::wstring Text() const;
  std::wstring TextRange(intptr_t AStart, intptr_t AEnd) const;
  intptr_t Length() const { return Call(SCI_GETLENGTH); }
  void SetReadOnly(bool AValue) { Call(SCI_SETREADONLY, AValue); }

  // Lines and columns count from 0 here; the window shows them from 1.
  intptr_t LineCount() const { return Call(SCI_GETLINECOUNT); }
  intptr_t CurrentPos() const { return Call(SCI_GETCURRENTPOS); }
  intptr_t Anchor() const { return Call(SCI_GETANCHOR); }
  intptr_t LineFromPosition(intptr_t APos) const { return Call(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(APos)); }
  intptr_t PositionFromLine(intptr_t ALine) const { return Call(SCI_POSITIONFROMLINE, static_cast<uintptr_t>(ALine)); }
  intptr_t Column(intptr_t APos) const { return Call(SCI_GETCOLUMN, static_cast<uintptr_t>(APos)); }
  intptr_t CaretLine() const { return LineFromPosition(CurrentPos()); }
  intptr_t FirstVisibleLine() const { return Call(SCI_GETFIRSTVISIBLELINE); }
  void SetFirstVisibleLine(intptr_t ALine) { Call(SCI_SETFIRSTVISIBLELINE, static_cast<uintptr_t>(ALine)); }
  void GotoPos(intptr_t APos) { Call(SCI_GOTOPOS, static_cast<uintptr_t>(APos)); }
  // Selection from AAnchor to ACaret (the caret may stand before the anchor).
  void SetSelection(intptr_t AAnchor, intptr_t ACaret) {
    Call(SCI_SETSEL, static_cast<uintptr_t>(AAnchor), ACaret);
  }
  intptr_t SelectionStart() const { return Call(SCI_GETSELECTIONSTART); }
  intptr_t SelectionEnd() const { return Call(SCI_GETSELECTIONEND); }
  std::wstring SelectedText() const { return TextRange(SelectionStart(), SelectionEnd()); }

  // The word at a position (empty when the position is not on a word).
  std::wstring WordAt(intptr_t APos) const;

  // Searches AText from AFrom towards ATo (backward when ATo < AFrom) with SCFIND_* flags;
  // returns the match's start and end, or -1 as the start when nothing was found.
  struct TMatch {
    intptr_t Start = -1;
    intptr_t End = -1;
  };
  TMatch Search(std::wstring_view AText, intptr_t AFrom, intptr_t ATo, int AFlags) const;

  // Width in pixels of a text in a style.
  int TextWidth(int AStyle, const char* AText) const {
    return static_cast<int>(Call(SCI_TEXTWIDTH, static_cast<uintptr_t>(AStyle), reinterpret_cast<intptr_t>(AText)));
  }
  void StyleSetFont(int AStyle, const char* AFace, int APoints);

 private:
  HWND FHandle = nullptr;
  SciFnDirect FDirect = nullptr;
  sptr_t FPointer = 0;
};

// APreferred when the system has that font, else the first fixed-pitch font it has of a list of
// common ones (a system without the preferred face would otherwise show code in a proportional
// font); as UTF-8 for Scintilla.
std::string MonospaceFace(const wchar_t* APreferred);

// Registers the Scintilla window class once for the process.
void RegisterScintilla();

// UTF-16 to UTF-8 positions are byte offsets in the editor; these convert texts for it.
std::string ToUtf8(std::wstring_view AText);
// Writes AText as UTF-8 from AOut on (at most three bytes per code unit; an unpaired surrogate
// becomes U+FFFD); returns the end of what it wrote.
char* EncodeUtf8(char* AOut, std::wstring_view AText);
std::wstring FromUtf8(std::string_view AText);

}  // namespace vantrel
