// What the Windows front end's windows share besides TForm: the designed font, texts for the W
// functions, the application title, message dialogs with the fixed captions and buttons, and the
// error box for errors escaping a window's creation or event handler.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "installer/wizard_host.h"
#include "platform/text.h"

namespace vn {

// The designed font, "ＭＳ Ｐゴシック" at 12 pixels with the Shift-JIS character set. Where that face is
// not installed (an English system, Wine) an installed Japanese Gothic face stands in, so the texts
// show whatever the system's code page.
HFONT FormFont();
// The face FormFont uses.
std::wstring FormFontFace();

// Texts for the W functions: UTF-8 (the program's own texts), and data strings from code page 932
// (MultiByteToWideChar(932, ...), never the ANSI code page).
std::wstring Wide(const std::string& utf8);
std::wstring FromData(const DataString& text);
std::string Narrow(const std::wstring& wide);

// The application title: the product's Title once a window has set it; the caption of error boxes.
const std::wstring& ApplicationTitle();
void SetApplicationTitle(const std::wstring& title);

// A modal message dialog of `kind` ("警告", "情報", "確認") with `buttons` (a set of DialogButton:
// "はい(&Y)", "いいえ(&N)", "OK", "中止(&A)"), owned by `owner`; returns the button pressed. Closing it
// without a button counts as No when offered, else Abort when offered, else OK.
DialogButton ShowMessageDialog(HWND owner, DialogKind kind, const std::string& text, unsigned buttons);

// Shows an error's message as errors escaping a window's creation or event handler are shown: the
// application title as caption, an OK button. Unattended picture runs replace the reporter.
using ErrorReporter = std::function<void(HWND owner, const std::string& message)>;
void ShowErrorBox(HWND owner, const std::string& message);
void SetErrorReporter(ErrorReporter reporter);
// Replaces every message dialog (pictures taken without a user answer them by themselves).
using DialogAnswerer = std::function<DialogButton(DialogKind, const std::string& text, unsigned buttons)>;
void SetDialogAnswerer(DialogAnswerer answerer);

// Width in pixels of `text` in the designed font.
int TextWidth(const std::wstring& text);

}  // namespace vn
