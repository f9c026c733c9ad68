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
    TMsgDlgType type;
    TMsgDlgButtons buttons;
  };
  std::vector<Dialog> dialogs;
  std::deque<int> answers;  // results handed out in order; mrNo when none are left
  int installs = 0, uninstalls = 0, pumps = 0;
  bool save_data = false;
  std::function<void()> install, uninstall;  // what the procedures do

  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
    dialogs.push_back({text, type, buttons});
    if (answers.empty()) return mrNo;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ProcessMessages() override { ++pumps; }
  void RunInstall() override {
    ++installs;
    if (install) install();
  }
  void RunUninstall() override {
    ++uninstalls;
    if (uninstall) uninstall();
  }
  bool SaveDataFound() override { return save_data; }
};

}  // namespace vn::test
