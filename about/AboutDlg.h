// The about dialog: the program's version information, terms of use, links to the homepage and
// the contact address, and on request the outcome of an update check in its footer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "about/AboutControls.h"
#include "base/Zarvek_VersionInfo.h"
#include "about/Zarvek.Component.UpdateCheck.h"
#include "forms/Zarvek_UIHandles.h"
#include "forms/Zarvek.Forms.Form.h"

namespace vantrel {

enum TLanguage : uint8_t { lngEn = 0, lngCz = 1 };

extern const wchar_t HomepageAddress[];  // "http://" address without a trailing slash
extern const wchar_t MailAddress[];      // "mailto:" address
extern const wchar_t UpdatePageURL[];    // the update page on the homepage's server, over HTTPS

// Posted by the dialog to itself once it shows, so that the update check starts after it appeared.
constexpr UINT WM_STARTUPDATECHECK = WM_USER + 1;

// Opens an address (a web page or a mail address) through the shell. Tests replace it to see
// what the dialog opens; an empty function restores the shell. Returns the previous function.
using TOpenAddressFunction = std::function<void(HWND AOwner, const std::wstring& AAddress)>;
TOpenAddressFunction SetOpenAddressFunction(TOpenAddressFunction AFunction);

class TdlgAbout : public TForm {
 public:
  explicit TdlgAbout(HWND AOwner);
  ~TdlgAbout() override;

  std::wstring ClassName() const override { return L"TdlgAbout"; }
  TLanguage Language() const { return FLang; }
  // The update check the dialog runs when it shows; none unless the caller asked for one.
  TUpdateCheck* UpdateCheck() const { return FUpdateCheck.get(); }

  // Shows the dialog modally; returns the modal result when it has closed.
  int Execute();

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;
  void DoShow() override;
  void DoClose(TCloseAction& AAction) override;
  void Resize() override;
  void DpiChanged() override;
  bool PreTranslateMessage(MSG& AMsg) override;
  void Command(int AId, int ACode, HWND AControl) override;

 private:
  friend std::unique_ptr<TdlgAbout> CreateAboutDialog(const std::wstring&, const std::wstring&, TLanguage);

  void CreateControls();
  void CreateOwnFonts();
  void LoadPictures();
  void Layout();
  void FillTexts(const std::wstring& AExtraLine);
  void CreateMemo(bool AScrollBar);
  void SetLabelText(HWND ALabel, const std::wstring& AText);
  void ShowOutcome(TPictureWindow& APicture, const std::wstring& AText);
  void OpenAddress(const std::wstring& AAddress);

  // Event handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void FormMouseDown();
  void lUpdateClick();
  void cmEmail();
  void cmHomepage();
  void Button2Click();
  void UpdateCheckUpdateAvailable(TUpdateCheck* Sender, const std::wstring& ActualVersion,
                                  const std::wstring& NewVersion, bool& CanUpdate);
  void UpdateCheckNoUpdateFound(TUpdateCheck* Sender);
  void UpdateCheckDownloadError(TUpdateCheck* Sender);
  void StartUpdateCheck();
  LRESULT ControlColor(HDC ADC, HWND AControl);
  bool SetControlCursor(HWND AControl, WORD AHitTest);

  TLanguage FLang = lngEn;
  std::unique_ptr<TUpdateCheck> FUpdateCheck;

  TFont FProductFont;
  TFont FBoldFont;
  TFont FLinkFont;
  TBrush FBlackBrush;

  // Controls, in the order the dialog declares them.
  std::unique_ptr<TPanelWindow> Panel3;
  HWND Button2 = nullptr;
  HWND lEmail = nullptr;
  std::unique_ptr<TPanelWindow> Panel1;
  HWND mLic = nullptr;
  HWND lWWW = nullptr;
  std::unique_ptr<TPanelWindow> Panel2;
  HWND lDesc = nullptr;
  std::unique_ptr<TPictureWindow> Icon;
  HWND lProduct = nullptr;
  HWND lVer = nullptr;
  std::unique_ptr<TPictureWindow> Image1;
  HWND lCR = nullptr;
  HWND lUpdate = nullptr;
  std::unique_ptr<TPictureWindow> icoWait;
  std::unique_ptr<TPictureWindow> icoOK;
  std::unique_ptr<TPictureWindow> icoWarn;
  HWND FHint = nullptr;            // the tooltip that shows the hint of lVer
  std::wstring FBuildTimestamp;    // text of that hint
};

// Builds the dialog as ShowAboutDialog shows it: the main window as owner, texts in ALanguage,
// and an update check with prefixed tag names when ATagPrefix is not empty.
std::unique_ptr<TdlgAbout> CreateAboutDialog(const std::wstring& ATagPrefix, const std::wstring& AExtraLine,
                                             TLanguage ALanguage);

// Builds, shows modally and frees the about dialog.
void ShowAboutDialog(const std::wstring& ATagPrefix, const std::wstring& AExtraLine, TLanguage ALanguage);

}  // namespace vantrel
