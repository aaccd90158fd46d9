#include "tlbviewer/PascalLexer.h"

#include <string>

#include "ILexer.h"
#include "LexerModule.h"
#include "Scintilla.h"

// Defined by Lexilla's LexPascal.cxx.
extern Lexilla::LexerModule lmPascal;

namespace vantrel {

void* CreatePascalLexer() { return lmPascal.Create(); }

}  // namespace vantrel
