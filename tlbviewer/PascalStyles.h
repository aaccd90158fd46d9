// The look of Object Pascal text in the viewer's editor and on paper.
#pragma once

#include "tlbviewer/ScintillaEdit.h"

namespace vantrel {

// Sets up a Scintilla editor with the Object Pascal colouring in the given font: comments and
// compiler directives green and italic, numbers blue, strings red, assembler fuchsia, reserved
// words bold, tab width 8.
void ApplyPascalStyles(TScintilla& AEditor, const char* AFace, int APoints);

}  // namespace vantrel
