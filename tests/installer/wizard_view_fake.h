// A wizard view without a window: scripted dialog answers, recorded questions, counted procedures.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "installer/wizard_flow.h"

namespace vn::test {

class FakeWizardView : public WizardView {
 public:
  struct Dialog {
    std::string text;
    DialogKind kind;
    unsigned buttons;
  };
  std::vector<Dialog> dialogs;
  std::deque<DialogButton> answers;  // handed out in order; No when none are left
  int installs = 0, uninstalls = 0, pumps = 0;
  bool save_data = false;
  std::function<void()> install, uninstall;  // what the procedures do

  DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) override {
    dialogs.push_back({text, kind, buttons});
    if (answers.empty()) return kButtonNo;
    const DialogButton answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ProcessMessages() override { ++pumps; }
  void RunInstallProcedure() override {
    ++installs;
    if (install) install();
  }
  void RunUninstallProcedure() override {
    ++uninstalls;
    if (uninstall) uninstall();
  }
  bool SaveDataOffered() override { return save_data; }
};

}  // namespace vn::test
