#include "tlbviewer/ScintillaEdit.h"

#include "forms/Zarvek_UIHandles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

void RegisterScintilla() {
  static const bool registered = Scintilla_RegisterClasses(Application().Instance()) != 0;
  if (!registered) throw Exception(L"The text editor could not be registered");
}

std::string ToUtf8(std::wstring_view AText) { return WideToCodePage(AText, CP_UTF8); }

char* EncodeUtf8(char* AOut, std::wstring_view AText) {
  char* out = AOut;
  for (size_t i = 0; i < AText.size(); ++i) {
    uint32_t c = AText[i];
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 && AText[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (AText[++i] - 0xDC00);  // two code units give four bytes
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *out++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *out++ = static_cast<char>(0xE0 | (c >> 12));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *out++ = static_cast<char>(0xF0 | (c >> 18));
      *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::wstring FromUtf8(std::string_view AText) { return CodePageToWide(AText, CP_UTF8); }

namespace {

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM AFound) {
  *reinterpret_cast<bool*>(AFound) = true;
  return 0;
}

bool FontInstalled(const wchar_t* AFace) {
  TWindowDC screen(nullptr);
  LOGFONTW font = {};
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy_s(font.lfFaceName, AFace, _TRUNCATE);
  bool found = false;
  EnumFontFamiliesExW(screen.get(), &font, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

}  // namespace

std::string MonospaceFace(const wchar_t* APreferred) {
  for (const wchar_t* face : {APreferred, L"Consolas", L"Courier New", L"Lucida Console", L"DejaVu Sans Mono",
                              L"Liberation Mono", L"Noto Sans Mono", L"Nimbus Mono PS"}) {
    if (FontInstalled(face)) return ToUtf8(face);
  }
  return ToUtf8(APreferred);
}

TScintilla::TScintilla(HWND AParent, int AId, DWORD AStyle) {
  RegisterScintilla();
  FHandle = CreateWindowExW(0, L"Scintilla", L"", AStyle, 0, 0, 10, 10, AParent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), Application().Instance(), nullptr);
  if (!FHandle) throw Exception(L"Cannot create the text editor: " + Trim(SysErrorMessage(GetLastError())));
  FDirect = reinterpret_cast<SciFnDirect>(SendMessageW(FHandle, SCI_GETDIRECTFUNCTION, 0, 0));
  FPointer = static_cast<sptr_t>(SendMessageW(FHandle, SCI_GETDIRECTPOINTER, 0, 0));
  Call(SCI_SETCODEPAGE, SC_CP_UTF8);
}

TScintilla::~TScintilla() {
  if (FHandle) DestroyWindow(FHandle);
}

intptr_t TScintilla::Call(unsigned AMessage, uintptr_t AWParam, intptr_t ALParam) const {
  return FDirect(FPointer, AMessage, AWParam, ALParam);
}

void TScintilla::SetText(std::wstring_view AText) { SetUtf8Text(ToUtf8(AText)); }

void TScintilla::SetUtf8Text(std::string_view AText) {
  // Not SCI_SETTEXT: it takes a C string and would end the text at its first NUL.
  Call(SCI_CLEARALL);
  Call(SCI_APPENDTEXT, AText.size(), reinterpret_cast<intptr_t>(AText.data()));
}

std::wstring TScintilla::Text() const { return TextRange(0, Length()); }

std::wstring TScintilla::TextRange(intptr_t AStart, intptr_t AEnd) const {
  if (AEnd <= AStart) return {};
  std::string buffer(static_cast<size_t>(AEnd - AStart) + 1, '\0');
  Sci_TextRangeFull range = {{AStart, AEnd}, buffer.data()};
  Call(SCI_GETTEXTRANGEFULL, 0, reinterpret_cast<intptr_t>(&range));
  buffer.resize(static_cast<size_t>(AEnd - AStart));
  return FromUtf8(buffer);
}

std::wstring TScintilla::WordAt(intptr_t APos) const {
  intptr_t start = Call(SCI_WORDSTARTPOSITION, static_cast<uintptr_t>(APos), 1);
  intptr_t end = Call(SCI_WORDENDPOSITION, static_cast<uintptr_t>(APos), 1);
  return TextRange(start, end);
}

TScintilla::TMatch TScintilla::Search(std::wstring_view AText, intptr_t AFrom, intptr_t ATo, int AFlags) const {
  TMatch match;
  if (AText.empty()) return match;
  std::string text = ToUtf8(AText);
  Call(SCI_SETSEARCHFLAGS, static_cast<uintptr_t>(AFlags));
  Call(SCI_SETTARGETRANGE, static_cast<uintptr_t>(AFrom), ATo);
  intptr_t found = Call(SCI_SEARCHINTARGET, text.size(), reinterpret_cast<intptr_t>(text.c_str()));
  if (found < 0) return match;
  match.Start = found;
  match.End = Call(SCI_GETTARGETEND);
  return match;
}

void TScintilla::StyleSetFont(int AStyle, const char* AFace, int APoints) {
  Call(SCI_STYLESETFONT, static_cast<uintptr_t>(AStyle), reinterpret_cast<intptr_t>(AFace));
  Call(SCI_STYLESETSIZE, static_cast<uintptr_t>(AStyle), APoints);
}

}  // namespace vantrel
