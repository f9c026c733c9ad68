#include "ui/win32/launcher_ui_win32.h"

#include <cstdio>
#include <exception>
#include <set>
#include <system_error>

#include "launcher/entry_flow.h"
#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "platform/paths.h"
#include "ui/win32/form_style.h"
#include "ui/win32/main_form.h"
#include "ui/win32/screenshot.h"
#include "ui/win32/start_form.h"
#include "ui/win32/wizard_form.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The folder of the run: the first argument (the folder of an archive file named there), else the
// executable's own folder.
fs::path RunSourceFolder(const EntryEnvironment& env) {
  if (env.args.empty()) return env.exe.parent_path();
  const fs::path given = Utf8ToPath(env.args.front());
  std::error_code ec;
  return fs::is_regular_file(given, ec) ? given.parent_path() : given;
}

// Runs `take`; a picture that cannot be saved is reported on stderr, and the window closes all the
// same, so a run without a user never waits for one.
template <typename Take>
void TakePictures(Take take) {
  try {
    take();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vnsetup: %s\n", e.what());
  }
}

}  // namespace

Win32LauncherUi::Win32LauncherUi(const EntryEnvironment& env)
    : folder_(env.exe.parent_path()), source_folder_(RunSourceFolder(env)) {}

void Win32LauncherUi::AnswerDialogsByThemselves() {
  SetErrorReporter(
      [](HWND, const std::string& message) { std::fprintf(stderr, "vnsetup: %s\n", message.c_str()); });
  SetDialogAnswerer([](DialogKind, const std::string& text, unsigned buttons) {
    std::fprintf(stderr, "vnsetup: %s\n", text.c_str());
    return (buttons & kButtonYes) ? kButtonYes : kButtonOK;
  });
}

bool Win32LauncherUi::ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) {
  if (TakingPictures()) AnswerDialogsByThemselves();
  TFormStart form(settings, SharedArchive(), folder_);
  if (!screenshot_file_.empty()) {
    form.OnShown = [this](TForm& shown) {
      TakePictures([&] {
        TDIBSurface picture;
        CaptureClient(shown.Handle(), picture);
        SavePicture(picture, shown, screenshot_file_);
      });
      shown.SetFormResult(mrCancel);
    };
  }
  if (form.ShowModal() != mrOK) return false;
  start_choice = form.StartChoice();
  return true;
}

void Win32LauncherUi::RunWizard(TVondInstallSet& settings) {
  if (TakingPictures()) AnswerDialogsByThemselves();
  TFormMain main(settings, SharedArchive());
  ShowWindow(main.Handle(), SW_SHOW);
  SetForegroundWindow(main.Handle());
  UpdateWindow(main.Handle());
  // The wizard's modal result only serves to close it; the run ends when it is closed.
  TFormType wizard(settings, main.Handle(), source_folder_);
  wizard.CenterOn(main.Handle());
  if (TakingPictures()) {
    wizard.OnShown = [this, &main, &wizard](TForm&) {
      TakePictures([&] {
        if (!screenshot_file_.empty()) {
          TDIBSurface picture;
          CaptureClient(main.Handle(), picture);
          DrawInFront(picture, main.Handle(), wizard.Handle());
          SavePicture(picture, main, screenshot_file_);
        }
        if (!page_folder_.empty()) SavePages(wizard);
      });
      wizard.SetFormResult(mrOK);  // closes without the question, as the exit page's button does
    };
  }
  wizard.ShowModal();
}

void Win32LauncherUi::SavePages(TFormType& wizard) {
  std::set<int> saved;
  const auto save = [&](int page) {
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.png", page, kPageNames[page]);
    TDIBSurface picture;
    CaptureClient(wizard.Handle(), picture);
    SavePicture(picture, wizard, page_folder_ / name);
    saved.insert(page);
  };
  TWizardFlow& flow = wizard.Flow();
  // The install pages as a user walks them with Next; the flow stops before the copy.
  while (flow.Controls().page >= 0 && flow.Controls().page < kPageConfirm &&
         !saved.count(flow.Controls().page)) {
    const int page = flow.Controls().page;
    save(page);
    if (page == kPageLicense) {
      SendMessageW(wizard.CheckLicense, BM_SETCHECK, BST_CHECKED, 0);
      wizard.Press(wizard.CheckLicense);
    }
    wizard.Press(wizard.btnNext);
  }
  if (flow.Controls().page >= 0 && !saved.count(flow.Controls().page)) save(flow.Controls().page);
  // The rest in the order a run meets them: "uninst" before the copy hides Back and Next for good.
  for (const int page : {kPageHello, kPageLicense, kPageMedia, kPageFile, kPageSelDir, kPageConfirm,
                         kPageUninst, kPageCopy, kPageExit, kPageDelete}) {
    if (saved.count(page)) continue;
    if (page == kPageCopy || page == kPageDelete) {
      wizard.DisplayPage(page);  // entering them would install or uninstall
    } else {
      wizard.ShowPage(kPageNames[page]);
    }
    save(page);
  }
}

void Win32LauncherUi::ShowWarning(const std::string& text) {
  if (TakingPictures()) {
    std::fprintf(stderr, "vnsetup: %s: %s\n", Tr(Msg::kCaptionWarning), text.c_str());
    return;
  }
  ShowMessageDialog(nullptr, DialogKind::kWarning, text, kButtonOK);
}

void Win32LauncherUi::ShowSystemWarning(const std::string& text) {
  if (TakingPictures()) {
    ShowWarning(text);
    return;
  }
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(Tr(Msg::kCaptionWarning)).c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace vn
