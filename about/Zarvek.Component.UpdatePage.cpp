#include "about/Zarvek.Component.UpdatePage.h"

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <string_view>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

// The text between the opening quote at AStart and the next double quote within 255 characters;
// empty without such a quote.
std::wstring QuotedValueAt(const std::wstring& ALine, size_t AStart) {
  if (AStart >= ALine.size()) return {};
  std::wstring window = ALine.substr(AStart, 255);
  size_t quote = window.find(L'"');
  return quote == std::wstring::npos ? std::wstring() : window.substr(0, quote);
}

// The CONTENT value of a tag line; a line without CONTENT= gives no value.
std::wstring ExtractContent(const std::wstring& ALine) {
  size_t content = UpperCaseAscii(ALine).find(L"CONTENT=");
  if (content == std::wstring::npos) return {};
  return QuotedValueAt(ALine, content + 9);
}

// The number before the first dot of AVersion; a part that is no number counts 0.
int32_t VersionPart(const std::wstring& AVersion) {
  int32_t value = 0;
  return TryStrToInt(AVersion.substr(0, AVersion.find(L'.')), value) ? value : 0;
}

// Removes the first part of AVersion and its dot; the last part leaves nothing.
void DropVersionPart(std::wstring& AVersion) {
  size_t dot = AVersion.find(L'.');
  AVersion.erase(0, dot == std::wstring::npos ? AVersion.size() : dot + 1);
}

// The parts of an address (RFC 3986, section 3); the query keeps its "?".
struct TURLParts {
  std::wstring Scheme;  // without ":"; empty for a relative reference
  bool HasAuthority = false;
  std::wstring Authority;
  std::wstring Path;
  std::wstring Query;
};

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

TURLParts SplitURLParts(std::wstring_view AURL) {
  TURLParts parts;
  AURL = AURL.substr(0, AURL.find(L'#'));
  // A scheme is a letter followed by letters, digits, "+", "-" or ".", up to the first ":".
  size_t colon = AURL.find(L':');
  if (colon != std::wstring_view::npos && colon > 0 && IsAsciiLetter(AURL[0])) {
    bool scheme = true;
    for (size_t i = 1; i < colon && scheme; ++i) {
      wchar_t c = AURL[i];
      scheme = IsAsciiLetter(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    }
    if (scheme) {
      parts.Scheme = AURL.substr(0, colon);
      AURL.remove_prefix(colon + 1);
    }
  }
  if (AURL.substr(0, 2) == L"//") {
    parts.HasAuthority = true;
    size_t end = std::min(AURL.find_first_of(L"/?", 2), AURL.size());
    parts.Authority = AURL.substr(2, end - 2);
    AURL.remove_prefix(end);
  }
  size_t query = std::min(AURL.find(L'?'), AURL.size());
  parts.Path = AURL.substr(0, query);
  parts.Query = AURL.substr(query);
  return parts;
}

std::wstring JoinURLParts(const TURLParts& AParts) {
  std::wstring url;
  if (!AParts.Scheme.empty()) url = AParts.Scheme + L":";
  if (AParts.HasAuthority) url += L"//" + AParts.Authority;
  return url + AParts.Path + AParts.Query;
}

// The path with its "." and ".." segments resolved (RFC 3986, section 5.2.4); ".." never climbs
// above the root.
std::wstring RemoveDotSegments(std::wstring_view APath) {
  std::wstring output;
  while (!APath.empty()) {
    if (APath.substr(0, 3) == L"../") {
      APath.remove_prefix(3);
    } else if (APath.substr(0, 2) == L"./") {
      APath.remove_prefix(2);
    } else if (APath.substr(0, 3) == L"/./") {
      APath.remove_prefix(2);
    } else if (APath == L"/.") {
      APath = L"/";
    } else if (APath.substr(0, 4) == L"/../" || APath == L"/..") {
      APath = APath.size() == 3 ? std::wstring_view(L"/") : APath.substr(3);
      size_t last = output.rfind(L'/');
      output.erase(last == std::wstring::npos ? 0 : last);
    } else if (APath == L"." || APath == L"..") {
      APath = {};
    } else {
      size_t next = std::min(APath.find(L'/', 1), APath.size());
      output.append(APath.substr(0, next));
      APath.remove_prefix(next);
    }
  }
  return output;
}

}  // namespace

TUpdatePage ParseUpdatePage(const TStringList& ALines, const TTagInfo& ATags) {
  TUpdatePage page;
  struct TTarget {
    const std::wstring& Name;
    std::wstring& Value;
  };
  const TTarget targets[] = {
      {ATags.ProductName, page.ProductName}, {ATags.ClientFileName, page.ClientFileName},
      {ATags.Version, page.Version},         {ATags.Author, page.Author},
      {ATags.Email, page.Email},             {ATags.Download, page.Download},
      {ATags.Redirection, page.Redirection}, {ATags.RunParameters, page.RunParameters},
      {ATags.MD5, page.MD5},                 {ATags.Page, page.Page},
  };
  for (const std::wstring& line : ALines) {
    size_t meta = line.find(L"META NAME");
    if (meta == std::wstring::npos) continue;
    std::wstring name = QuotedValueAt(line, meta + 11);
    for (const TTarget& target : targets) {
      if (SameTextAscii(name, target.Name)) {
        target.Value = ExtractContent(line);
        break;
      }
    }
  }
  return page;
}

bool IsNewerVersion(const std::wstring& ACurrent, const std::wstring& AOffered, TVersionFormat AFormat) {
  switch (AFormat) {
    case vfStandard: {
      // The shorter version counts as if padded with zero parts: "1.4" equals 1.4.0.0.
      std::wstring current = ACurrent;
      std::wstring offered = AOffered;
      while (!current.empty() || !offered.empty()) {
        int32_t currentPart = VersionPart(current);
        int32_t offeredPart = VersionPart(offered);
        if (offeredPart != currentPart) return offeredPart > currentPart;
        DropVersionPart(current);
        DropVersionPart(offered);
      }
      return false;
    }
    case vfString:
      return AOffered > ACurrent;
    case vfNumber: {
      double current = 0;
      double offered = 0;
      return TryParseVersionNumber(ACurrent, current) && TryParseVersionNumber(AOffered, offered) && current < offered;
    }
  }
  return false;
}

std::wstring ResolveURL(const std::wstring& APageURL, const std::wstring& AReference) {
  const TURLParts page = SplitURLParts(APageURL);
  const TURLParts reference = SplitURLParts(AReference);
  TURLParts target;
  if (!reference.Scheme.empty()) {
    target = reference;
    target.Path = RemoveDotSegments(reference.Path);
    return JoinURLParts(target);
  }
  target.Scheme = page.Scheme;
  if (reference.HasAuthority) {
    target.HasAuthority = true;
    target.Authority = reference.Authority;
    target.Path = RemoveDotSegments(reference.Path);
    target.Query = reference.Query;
    return JoinURLParts(target);
  }
  target.HasAuthority = page.HasAuthority;
  target.Authority = page.Authority;
  if (reference.Path.empty()) {
    target.Path = page.Path;
    target.Query = reference.Query.empty() ? page.Query : reference.Query;
  } else if (reference.Path[0] == L'/') {
    target.Path = RemoveDotSegments(reference.Path);
    target.Query = reference.Query;
  } else {
    // The page's folder: its path up to the last "/", or the root of a server without a path.
    std::wstring folder =
        page.HasAuthority && page.Path.empty() ? L"/" : page.Path.substr(0, page.Path.rfind(L'/') + 1);
    target.Path = RemoveDotSegments(folder + reference.Path);
    target.Query = reference.Query;
  }
  return JoinURLParts(target);
}

std::wstring ResolveDownloadURL(const std::wstring& APageURL, const std::wstring& ADownload) {
  return ADownload.empty() ? std::wstring() : ResolveURL(APageURL, ADownload);
}

std::wstring SafeClientFileName(const std::wstring& AValue) {
  std::wstring name = Trim(ExtractFileName(AValue));
  while (!name.empty() && (name.back() == L'.' || static_cast<unsigned>(name.back()) <= L' ')) name.pop_back();
  if (name.empty()) return {};
  for (wchar_t c : name) {
    if (c < 32 || wcschr(L"<>\"|?*", c)) return {};
  }
  // Device names stay devices whatever extension follows them.
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = UpperCaseAscii(base);
  static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : devices) {
    if (base == device) return {};
  }
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
      ((base[3] >= L'0' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' || base[3] == L'\u00B3')) {
    return {};
  }
  return name;
}

bool TryParseVersionNumber(const std::wstring& AText, double& AValue) {
  size_t i = 0;
  while (i < AText.size() && AText[i] == L' ') ++i;
  std::string number;
  if (i < AText.size() && (AText[i] == L'+' || AText[i] == L'-')) {
    if (AText[i] == L'-') number += '-';
    ++i;
  }
  auto digits = [&] {
    size_t count = 0;
    while (i < AText.size() && AText[i] >= L'0' && AText[i] <= L'9') {
      number += static_cast<char>(AText[i++]);
      ++count;
    }
    return count;
  };
  size_t mantissa = digits();
  if (i < AText.size() && AText[i] == L'.') {
    number += '.';
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < AText.size() && (AText[i] == L'e' || AText[i] == L'E')) {
    number += 'e';
    ++i;
    if (i < AText.size() && (AText[i] == L'+' || AText[i] == L'-')) number += static_cast<char>(AText[i++]);
    if (digits() == 0) return false;
  }
  if (i != AText.size()) return false;
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return false;
  AValue = value;
  return true;
}

}  // namespace vantrel
