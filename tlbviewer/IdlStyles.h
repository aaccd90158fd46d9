// The look of IDL text in the viewer's editor: Lexilla's C++ lexer with the IDL keywords.
#pragma once

#include "tlbviewer/ScintillaEdit.h"

namespace vantrel {

// Comments green and italic, numbers blue, strings and GUIDs red, keywords bold, attribute names
// dark blue, as the Pascal text shows its own; tab width 8.
void ApplyIdlStyles(TScintilla& AEditor, const char* AFace, int APoints);

}  // namespace vantrel
