// A wizard without a window (scripted dialog answers, abort at a chosen step) and disc sets built
// in the sandbox with the archive writer.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "installer/wizard_host.h"
#include "settings/settings.h"

namespace vn::test {

class FakeHost : public WizardHost {
 public:
  struct Dialog {
    DialogKind kind;
    std::string text;
    unsigned buttons;
  };

  WizardChoices choices;
  std::map<WizardControl, std::string> texts;
  std::map<WizardControl, bool> visible;
  int64_t progress_max = 0, progress_position = 0;
  TModalResult modal = mrNone;
  std::deque<DialogButton> answers;  // scripted; when none is left: OK, else No
  std::vector<Dialog> dialogs;
  std::deque<std::optional<std::filesystem::path>> folders;  // answers of ChooseDiscFolder
  std::function<void(FakeHost&)> on_messages;                // runs at every ProcessMessages
  std::vector<std::string> pages;
  int slept_ms = 0;

  WizardChoices Choices() const override { return choices; }
  void SetText(WizardControl control, const std::string& text) override { texts[control] = text; }
  void SetVisible(WizardControl control, bool v) override { visible[control] = v; }
  void SetProgressMax(int64_t maximum) override { progress_max = maximum; }
  void SetProgressPosition(int64_t position) override { progress_position = position; }
  void ProcessMessages() override {
    if (on_messages) on_messages(*this);
  }
  TModalResult ModalResult() const override { return modal; }
  void SetModalResult(TModalResult result) override { modal = result; }
  DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) override {
    dialogs.push_back({kind, text, buttons});
    if (!answers.empty()) {
      const DialogButton b = answers.front();
      answers.pop_front();
      return b;
    }
    return (buttons & kButtonOK) ? kButtonOK : kButtonNo;
  }
  std::optional<std::filesystem::path> ChooseDiscFolder(const std::string&) override {
    if (folders.empty()) return std::nullopt;
    auto f = folders.front();
    folders.pop_front();
    return f;
  }
  void Sleep(int ms) override { slept_ms += ms; }
  void BringToFront() override {}
  void ShowPage(const std::string& name) override { pages.push_back(name); }
};

struct DiscSpec {
  std::map<std::string, std::string> files;    // loose files: relative UTF-8 path with '/', content
  std::map<std::string, std::string> archive;  // archive entries: UTF-8 name with '\', content
  std::vector<std::string> separate;           // archive entries flagged separate
};

// The settings every disc of the test game carries (title "星の湖", ExeName "game.sh", readme).
TVondInstallSet GameSettings(int32_t disc_count);

// Builds the discs as folders disc1, disc2, ... under `root`: loose files, game.dat, and an
// install.dat listing every loose file in DiscFiles. Returns the disc folders.
std::vector<std::filesystem::path> BuildDiscSet(const std::filesystem::path& root,
                                                const std::vector<DiscSpec>& discs,
                                                const TVondInstallSet& base);

}  // namespace vn::test
