# Writes the header with the build's date and time (cmake -DOUT=<file> -P BuildStamp.cmake).
string(TIMESTAMP stamp "%Y-%m-%d %H:%M:%S")
file(WRITE "${OUT}" "// Generated at build time.\n#pragma once\n#define VANTREL_BUILD_TIMESTAMP \"${stamp}\"\n")
