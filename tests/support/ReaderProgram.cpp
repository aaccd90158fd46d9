// Linked into the test programs that read type libraries: their reader is the built program, as
// the program's own reader is the program itself.
#include "tests/support/TestSupport.h"
#include "typelib/TypeLibReader.h"

namespace {

const bool kReaderSet = [] {
  vantrel::TypeLibReaderDefaults().Program = vantrel::test::ProgramPath();
  return true;
}();

}  // namespace
