#include "about/Zarvek.Component.UpdatePage.h"

#include <charconv>
#include <cwchar>

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

std::wstring ResolveDownloadURL(const std::wstring& APageURL, const std::wstring& ADownload) {
  if (ADownload.empty() || ADownload.find(L"http") != std::wstring::npos) return ADownload;
  // Relative to the page's folder; an address that starts with "/" is relative to the server.
  size_t scheme = APageURL.find(L"://");
  size_t hostStart = scheme == std::wstring::npos ? 0 : scheme + 3;
  size_t pathStart = std::min(APageURL.find(L'/', hostStart), APageURL.size());
  if (ADownload[0] == L'/') return APageURL.substr(0, pathStart) + ADownload;
  if (pathStart == APageURL.size()) return APageURL + L"/" + ADownload;
  return APageURL.substr(0, APageURL.rfind(L'/') + 1) + ADownload;
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
