// GUIDs as text.
#pragma once

#include <windows.h>

#include <string_view>

namespace vantrel {

// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", and nothing else.
bool TryStringToGUID(std::wstring_view AText, GUID& AGuid);
// As TryStringToGUID; raises EConvertError "'%s' is not a valid GUID value".
GUID StringToGUID(std::wstring_view AText);

}  // namespace vantrel
