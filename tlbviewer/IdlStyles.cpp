#include "tlbviewer/IdlStyles.h"

#include "ILexer.h"
#include "LexerModule.h"
#include "SciLexer.h"
#include "Scintilla.h"

// Defined by Lexilla's LexCPP.cxx.
extern Lexilla::LexerModule lmCPP;

namespace vantrel {

namespace {

const char kKeywords[] =
    "import importlib library interface dispinterface coclass module typedef struct union enum const "
    "properties methods void char short long int hyper float double unsigned signed boolean byte small wchar_t "
    "__stdcall __cdecl _stdcall _cdecl stdcall cdecl pascal switch case sizeof cpp_quote TRUE FALSE NULL";

// The attribute names of IDL and the platform's types, in a colour of their own.
const char kAttributes[] =
    "uuid version helpstring helpfile helpcontext lcid custom object dual oleautomation hidden nonextensible "
    "restricted appobject licensed control noncreatable aggregatable replaceable public id propget propput "
    "propputref vararg source bindable defaultbind displaybind requestedit defaultcollelem uidefault "
    "nonbrowsable immediatebind usesgetlasterror readonly in out retval optional defaultvalue default "
    "defaultvtable dllname entry local BSTR VARIANT VARIANT_BOOL SAFEARRAY HRESULT SCODE DATE CURRENCY DECIMAL "
    "IUnknown IDispatch LPSTR LPWSTR INT_PTR UINT_PTR";

}  // namespace

void ApplyIdlStyles(TScintilla& AEditor, const char* AFace, int APoints) {
  AEditor.Call(SCI_SETILEXER, 0, reinterpret_cast<intptr_t>(lmCPP.Create()));
  AEditor.Call(SCI_SETKEYWORDS, 0, reinterpret_cast<intptr_t>(kKeywords));
  AEditor.Call(SCI_SETKEYWORDS, 1, reinterpret_cast<intptr_t>(kAttributes));
  AEditor.StyleSetFont(STYLE_DEFAULT, AFace, APoints);
  AEditor.Call(SCI_STYLESETFORE, STYLE_DEFAULT, RGB(0, 0, 0));
  AEditor.Call(SCI_STYLESETBACK, STYLE_DEFAULT, RGB(255, 255, 255));
  AEditor.Call(SCI_STYLECLEARALL);
  const COLORREF green = RGB(0, 128, 0), blue = RGB(0, 0, 255), red = RGB(255, 0, 0), navy = RGB(0, 0, 128);
  for (int style : {SCE_C_COMMENT, SCE_C_COMMENTLINE, SCE_C_COMMENTDOC, SCE_C_COMMENTLINEDOC}) {
    AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), green);
    AEditor.Call(SCI_STYLESETITALIC, static_cast<uintptr_t>(style), 1);
  }
  AEditor.Call(SCI_STYLESETFORE, SCE_C_PREPROCESSOR, green);
  AEditor.Call(SCI_STYLESETFORE, SCE_C_NUMBER, blue);
  for (int style : {SCE_C_STRING, SCE_C_STRINGEOL, SCE_C_CHARACTER, SCE_C_UUID}) {
    AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), red);
  }
  AEditor.Call(SCI_STYLESETBOLD, SCE_C_WORD, 1);
  AEditor.Call(SCI_STYLESETFORE, SCE_C_WORD2, navy);
  AEditor.Call(SCI_SETTABWIDTH, 8);
}

}  // namespace vantrel
