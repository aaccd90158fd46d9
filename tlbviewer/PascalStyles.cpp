#include "tlbviewer/PascalStyles.h"

#include "SciLexer.h"
#include "tlbviewer/PascalLexer.h"

namespace vantrel {

namespace {

// Object Pascal reserved words, drawn bold.
const char kReservedWords[] =
    "and array as asm begin case class const constructor destructor dispinterface div do downto else end except "
    "exports file finalization finally for function goto if implementation in inherited initialization inline "
    "interface is label library mod nil not object of or out packed procedure program property raise record "
    "repeat resourcestring set shl shr string then threadvar to try type unit until uses var while with xor";

}  // namespace

void ApplyPascalStyles(TScintilla& AEditor, const char* AFace, int APoints) {
  AEditor.Call(SCI_SETILEXER, 0, reinterpret_cast<intptr_t>(CreatePascalLexer()));
  AEditor.Call(SCI_SETKEYWORDS, 0, reinterpret_cast<intptr_t>(kReservedWords));
  AEditor.StyleSetFont(STYLE_DEFAULT, AFace, APoints);
  AEditor.Call(SCI_STYLESETFORE, STYLE_DEFAULT, RGB(0, 0, 0));
  AEditor.Call(SCI_STYLESETBACK, STYLE_DEFAULT, RGB(255, 255, 255));
  AEditor.Call(SCI_STYLECLEARALL);
  const COLORREF green = RGB(0, 128, 0), blue = RGB(0, 0, 255), red = RGB(255, 0, 0), fuchsia = RGB(255, 0, 255);
  for (int style : {SCE_PAS_COMMENT, SCE_PAS_COMMENT2, SCE_PAS_COMMENTLINE}) {
    AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), green);
    AEditor.Call(SCI_STYLESETITALIC, static_cast<uintptr_t>(style), 1);
  }
  for (int style : {SCE_PAS_PREPROCESSOR, SCE_PAS_PREPROCESSOR2}) {
    AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), green);
    AEditor.Call(SCI_STYLESETITALIC, static_cast<uintptr_t>(style), 1);
  }
  for (int style : {SCE_PAS_NUMBER, SCE_PAS_HEXNUMBER}) AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), blue);
  for (int style : {SCE_PAS_STRING, SCE_PAS_STRINGEOL, SCE_PAS_CHARACTER}) {
    AEditor.Call(SCI_STYLESETFORE, static_cast<uintptr_t>(style), red);
  }
  AEditor.Call(SCI_STYLESETFORE, SCE_PAS_ASM, fuchsia);
  AEditor.Call(SCI_STYLESETBOLD, SCE_PAS_WORD, 1);
  AEditor.Call(SCI_SETTABWIDTH, 8);
}

}  // namespace vantrel
