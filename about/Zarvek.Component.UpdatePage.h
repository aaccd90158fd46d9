// The update page: the tags it carries and the rules for the version it offers. Pure text work,
// no transfer.
#pragma once

#include <cstdint>
#include <string>

#include "base/Zarvek_StrUtils.h"

namespace vantrel {

enum TVersionFormat : uint8_t { vfStandard = 0, vfString = 1, vfNumber = 2 };

// The names of the page tags that carry each result.
struct TTagInfo {
  std::wstring Author = L"Author";
  std::wstring Email = L"Email";
  std::wstring ClientFileName = L"File";
  std::wstring Download = L"Download";
  std::wstring Page = L"Page";
  std::wstring ProductName = L"Name";
  std::wstring Redirection = L"Redirection";
  std::wstring RunParameters = L"RunParameters";
  std::wstring Version = L"Version";
  std::wstring MD5 = L"MD5";
};

// What an update page says: the CONTENT of each tag; empty for a tag the page lacks.
struct TUpdatePage {
  std::wstring ProductName;
  std::wstring ClientFileName;
  std::wstring Version;
  std::wstring Author;
  std::wstring Email;
  std::wstring Download;
  std::wstring Redirection;
  std::wstring RunParameters;
  std::wstring MD5;
  std::wstring Page;
};

// The tags of a page's lines: every line with META NAME="<tag>" ... CONTENT="<value>"; names
// compared without regard to case, a later line of the same tag wins.
TUpdatePage ParseUpdatePage(const TStringList& ALines, const TTagInfo& ATags);

// True when AOffered is newer than ACurrent. vfStandard: dotted numbers compared part by part
// (a part that is no number counts 0, a missing part too); vfString: plain text order; vfNumber:
// decimal numbers.
bool IsNewerVersion(const std::wstring& ACurrent, const std::wstring& AOffered, TVersionFormat AFormat);

// An address a page names, resolved against the page's own address by the rules of URLs
// (RFC 3986): an address with a scheme stands as it is; "//host/x" takes the page's scheme; "/x"
// the page's scheme, host and port; anything else the page's folder. "." and ".." segments are
// resolved and a "#fragment" is dropped, as it never goes to the server.
std::wstring ResolveURL(const std::wstring& APageURL, const std::wstring& AReference);

// The download address of a page as ResolveURL gives it; empty when the page names none.
std::wstring ResolveDownloadURL(const std::wstring& APageURL, const std::wstring& ADownload);

// The bare file name in an update page's file tag: folders, drive and stream parts, trailing
// dots and blanks removed; empty when nothing usable is left (also for reserved device names and
// characters that no file name may hold).
std::wstring SafeClientFileName(const std::wstring& AValue);

// A decimal number with "." as the decimal point whatever the locale; leading blanks are
// skipped, anything else outside the number fails.
bool TryParseVersionNumber(const std::wstring& AText, double& AValue);

}  // namespace vantrel
