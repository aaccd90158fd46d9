// The Object Pascal lexer of Lexilla, linked statically.
#pragma once

namespace vantrel {

// A new lexer instance (a Scintilla::ILexer5*), for SCI_SETILEXER; the editor owns it then.
void* CreatePascalLexer();

}  // namespace vantrel
