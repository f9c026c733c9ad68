// The wizard's page flow without a window: enabled pages, Next/Back/Abort, captions, button states.
#include <gtest/gtest.h>

#include <stdexcept>

#include "installer/wizard_flow.h"
#include "installer/wizard_front_end.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "tests/installer/wizard_view_fake.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

class WizardFlowTest : public ::testing::Test {
 protected:
  TVondInstallSet settings;
  test::FakeWizardView view;

  void SetUp() override {
    settings.Title = Utf8ToCp932("夢の続き");
    settings.MediaName = Utf8ToCp932("CD-ROM");
    settings.DefaultFolder = DataString("<ProgramFiles>\\Yume");
    settings.SetDiscCount(1);
    settings.ProgSize = settings.DiscProgSize[0] = 3 * 1048576;
  }

  TWizardFlow Create() {
    TWizardFlow flow(settings, view);
    flow.FreeSpaceOf = [](const std::filesystem::path&) { return int64_t{1} << 40; };
    flow.FormCreate();
    return flow;
  }
};

TEST_F(WizardFlowTest, WithoutTextsTheFirstPageIsTheComponentChoice) {
  TWizardFlow flow = Create();
  const WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageFile);
  EXPECT_EQ(c.caption, "インストールするファイル");
  EXPECT_TRUE(c.LabelBackVisible);
  EXPECT_TRUE(c.btnBack.visible);
  EXPECT_FALSE(c.btnBack.enabled);
  EXPECT_TRUE(c.btnNext.enabled);
  EXPECT_EQ(c.btnNext.caption, "次へ(&N) >");
  EXPECT_FALSE(flow.PageEnabled(kPageMedia));
  EXPECT_EQ(flow.LastEnabledPage(), kPageDelete);
  // Only the program has a size on this disc: the other boxes are hidden.
  EXPECT_TRUE(c.ProgVisible);
  EXPECT_FALSE(c.DataVisible || c.SoundVisible || c.MovieVisible);
  EXPECT_EQ(c.LabelSize, "最低 3.00 MBのディスクの空き容量が必要です");

  flow.btnNextClick();
  EXPECT_EQ(c.page, kPageSelDir);
  EXPECT_TRUE(c.btnBack.enabled);
  flow.btnNextClick();
  EXPECT_EQ(c.page, kPageConfirm);
  EXPECT_EQ(c.caption, "インストール準備完了");
  EXPECT_EQ(c.btnNext.caption, "インストール");
  flow.btnBackClick();
  EXPECT_EQ(c.page, kPageSelDir);
  EXPECT_EQ(c.btnNext.caption, "次へ(&N) >");
  flow.btnBackClick();
  flow.btnBackClick();  // nothing before "file"
  EXPECT_EQ(c.page, kPageFile);
}

TEST_F(WizardFlowTest, InstallIntoTheWindowsFolderGoesStraightToConfirmation) {
  settings.InstallType = 2;
  TWizardFlow flow = Create();
  const WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageConfirm);
  EXPECT_FALSE(c.btnBack.enabled);
  EXPECT_FALSE(c.LabelBackVisible);
  flow.btnBackClick();
  EXPECT_EQ(c.page, kPageConfirm);
}

TEST_F(WizardFlowTest, TwoDiscsFromTheFirstOfferTheMediaChoice) {
  settings.SetDiscCount(2);
  settings.DiscDataSize = {0, 5 * 1048576};
  settings.DataSize = 5 * 1048576;
  TWizardFlow flow = Create();
  WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageMedia);
  EXPECT_EQ(c.caption, "インストールするCD-ROM");
  EXPECT_EQ(c.LabelDisk, "インストールするCD-ROMを指定してください");
  EXPECT_EQ(c.RadioDiskAllText, "全てのCD-ROMをインストール");
  EXPECT_TRUE(c.RadioDiskAll);
  flow.btnNextClick();
  EXPECT_TRUE(c.DataVisible);  // the data lies on the second disc, counted with all discs
  c.CheckData = true;
  flow.CheckDataClick();
  EXPECT_EQ(flow.RequiredBytes(), 8 * 1048576);
  flow.btnBackClick();
  c.RadioDiskAll = false;
  c.RadioDiskThis = true;
  flow.btnNextClick();
  EXPECT_FALSE(c.DataVisible);  // this disc only: no data here
  EXPECT_EQ(flow.RequiredBytes(), 3 * 1048576);

  settings.DiscIndex = 1;  // started from the second disc: no choice, that disc only
  TWizardFlow later = Create();
  EXPECT_EQ(later.Controls().page, kPageFile);
  EXPECT_FALSE(later.Controls().RadioDiskAll);
  EXPECT_TRUE(later.Controls().DataVisible);
}

TEST_F(WizardFlowTest, LicenceMustBeAcceptedToGoOn) {
  settings.HelloText = Utf8ToCp932("ようこそ");
  settings.LicenseText = Utf8ToCp932("契約");
  TWizardFlow flow = Create();
  WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageHello);
  EXPECT_EQ(c.EditLicense, "契約");
  flow.btnNextClick();
  EXPECT_EQ(c.page, kPageLicense);
  EXPECT_FALSE(c.btnNext.enabled);
  c.CheckLicense = true;
  flow.CheckLicenseClick();
  EXPECT_TRUE(c.btnNext.enabled);
  c.CheckLicense = false;
  flow.CheckLicenseClick();
  EXPECT_FALSE(c.btnNext.enabled);
  flow.btnBackClick();
  c.CheckLicense = true;
  flow.btnNextClick();  // entering the page again keeps the accepted box
  EXPECT_TRUE(c.btnNext.enabled);
  c.CheckProg = false;
  flow.CheckProgClick();
  EXPECT_TRUE(c.CheckProg);
}

TEST_F(WizardFlowTest, CompleteInstallChecksEveryComponent) {
  settings.InstallType = 1;
  settings.DataSize = settings.SoundSize = settings.MovieSize = 1048576;
  TWizardFlow flow = Create();
  const WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageSelDir);  // no media or component choice
  EXPECT_TRUE(c.CheckData && c.CheckSound && c.CheckMovie);
  EXPECT_EQ(flow.RequiredBytes(), 6 * 1048576);
  EXPECT_EQ(c.LabelSzNeed, "インストールには最低 6.00 MBのディスクの空き容量が必要です");

  // Reached from a welcome page, without the component page: the figures are there all the same.
  settings.HelloText = Utf8ToCp932("ようこそ");
  TWizardFlow greeted = Create();
  greeted.btnNextClick();
  EXPECT_EQ(greeted.Controls().page, kPageSelDir);
  EXPECT_EQ(greeted.RequiredBytes(), 6 * 1048576);
  EXPECT_EQ(greeted.Controls().LabelSzNeed, "インストールには最低 6.00 MBのディスクの空き容量が必要です");
}

TEST_F(WizardFlowTest, CopyRunsTheInstallAndEndsOnTheExitPage) {
  TWizardFlow flow = Create();
  const WizardControls& c = flow.Controls();
  view.install = [&] {
    EXPECT_FALSE(c.btnBack.visible || c.btnNext.visible);  // hidden before the procedure runs
    EXPECT_EQ(c.caption, "ファイルコピー");
    settings.Installed = true;  // as the engine records the installation
    flow.ShowPage(kPageCopy + 1);
  };
  flow.btnNextClick();
  flow.btnNextClick();
  flow.btnNextClick();
  EXPECT_EQ(view.installs, 1);
  EXPECT_EQ(view.pumps, 1);
  EXPECT_EQ(c.page, kPageExit);
  EXPECT_EQ(c.caption, "完了");
  EXPECT_EQ(c.btnAbort.caption, "閉じる(&C)");
  EXPECT_TRUE(c.focus_abort);
  EXPECT_FALSE(c.btnNext.visible);
  flow.btnAbortClick();  // closes without a question
  EXPECT_EQ(flow.ModalResult(), mrOK);
  EXPECT_TRUE(flow.FormCloseQuery());
  EXPECT_TRUE(view.dialogs.empty());

  flow.SetModalResult(mrNone);
  flow.FormClose();  // the title bar's close box: the run is complete, nothing to ask
  EXPECT_TRUE(flow.FormCloseQuery());
  EXPECT_TRUE(view.dialogs.empty());
  // Elsewhere Cancel asks about what this run is, not what the engine made of the flag.
  flow.ShowPage(kPageConfirm);
  EXPECT_FALSE(flow.FormCloseQuery());
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_EQ(view.dialogs[0].text, "インストールを中断しますか？");
}

TEST_F(WizardFlowTest, FailedInstallEndsOnTheExitPage) {
  TWizardFlow flow = Create();
  view.install = [] { throw std::runtime_error("disk full"); };
  flow.btnNextClick();
  flow.btnNextClick();
  EXPECT_THROW(flow.btnNextClick(), std::runtime_error);  // for the window's error box
  const WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageExit);
  EXPECT_EQ(c.btnAbort.caption, "閉じる(&C)");
  EXPECT_FALSE(c.btnNext.visible);
  flow.btnAbortClick();  // closes, asking nothing about an install that has ended
  EXPECT_EQ(flow.ModalResult(), mrOK);
  EXPECT_TRUE(view.dialogs.empty());
}

TEST_F(WizardFlowTest, AbortAsksFirstAndNoStays) {
  TWizardFlow flow = Create();
  flow.btnNextClick();
  flow.btnNextClick();
  ASSERT_EQ(flow.Controls().page, kPageConfirm);
  flow.btnAbortClick();
  EXPECT_EQ(flow.ModalResult(), mrCancel);
  EXPECT_FALSE(flow.FormCloseQuery());  // answered No
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_EQ(view.dialogs[0].text, "インストールを中断しますか？");
  EXPECT_EQ(view.dialogs[0].kind, DialogKind::kConfirmation);
  EXPECT_EQ(view.dialogs[0].buttons, unsigned{kButtonYes | kButtonNo});
  EXPECT_EQ(flow.Controls().page, kPageConfirm);
  view.answers = {kButtonYes};
  EXPECT_TRUE(flow.FormCloseQuery());

  // During the copy: Yes sets mrAbort for the procedure to notice; the buttons stay as they are.
  // The close box asks there at once, as Abort does.
  flow.SetModalResult(mrNone);
  view.answers = {kButtonNo, kButtonYes};
  view.install = [&] {
    flow.FormClose();
    EXPECT_EQ(view.dialogs.back().text, "インストールを中断しますか？");
    EXPECT_EQ(flow.ModalResult(), mrNone);
    flow.btnAbortClick();
    EXPECT_EQ(flow.ModalResult(), mrAbort);
  };
  flow.btnNextClick();
  EXPECT_EQ(flow.Controls().page, kPageCopy);
  EXPECT_EQ(flow.Controls().btnAbort.caption, "中断(&A)");
  EXPECT_TRUE(flow.FormCloseQuery());  // mrAbort closes without another question
}

TEST_F(WizardFlowTest, UninstallModeRunsUninstDeleteExit) {
  settings.Installed = true;
  settings.HelloText = Utf8ToCp932("ようこそ");
  view.save_data = true;
  TWizardFlow flow = Create();
  const WizardControls& c = flow.Controls();
  EXPECT_EQ(c.page, kPageUninst);
  EXPECT_EQ(c.caption, "アンインストール");
  EXPECT_FALSE(c.btnBack.visible);
  EXPECT_EQ(c.btnNext.caption, "実行");
  EXPECT_TRUE(c.DelSaveVisible);
  EXPECT_EQ(c.LabelUninst, "夢の続き をコンピュータから削除します");
  EXPECT_EQ(flow.FirstEnabledPage(), kPageExit);
  view.answers = {kButtonYes};
  view.uninstall = [&] {
    EXPECT_FALSE(c.btnNext.visible);
    EXPECT_EQ(c.caption, "削除");
    flow.btnAbortClick();
    EXPECT_EQ(view.dialogs.back().text, "アンインストールを中断しますか？");
  };
  flow.btnNextClick();
  EXPECT_EQ(view.uninstalls, 1);
  EXPECT_EQ(c.page, kPageDelete);  // aborted: stays
  EXPECT_EQ(flow.ModalResult(), mrAbort);
  flow.SetModalResult(mrCancel);
  view.answers = {kButtonYes};
  EXPECT_TRUE(flow.FormCloseQuery());
  EXPECT_EQ(view.dialogs.back().text, "アンインストールを中断しますか？");
}

TEST_F(WizardFlowTest, DiscIndexOutsideTheTablesCountsAsNothing) {
  settings.SetDiscCount(2);
  settings.DiscIndex = 7;
  TWizardFlow flow = Create();
  EXPECT_EQ(flow.Controls().page, kPageFile);
  EXPECT_FALSE(flow.Controls().ProgVisible);
  EXPECT_EQ(flow.RequiredBytes(), 0);
}

// What the front ends show of the engines' values: a 64-bit progress on an int bar, line breaks.
TEST(WizardFrontEndTexts, ProgressAndLineBreaks) {
  ProgressScale bar;
  EXPECT_EQ(bar.Position(250), 100);  // before the engines set a range: the bar's own 0..100
  const int64_t five_gib = int64_t{5} << 30;
  const int top = bar.SetMaximum(five_gib);
  EXPECT_GT(top, 0);
  EXPECT_EQ(bar.Position(five_gib), top);
  EXPECT_EQ(bar.Position(five_gib / 2), top / 2);
  EXPECT_EQ(bar.Position(five_gib * 2), top);  // repeated copies may pass the range
  EXPECT_EQ(bar.Position(-1), 0);
  EXPECT_EQ(bar.SetMaximum(-5), 0);

  EXPECT_EQ(LfLineBreaks("a\r\nb\rc\n\r\n"), "a\nb\rc\n\n");
  EXPECT_EQ(CrLfLineBreaks("\na\r\nb\n"), "\r\na\r\nb\r\n");
  EXPECT_EQ(ClosedDialogAnswer(kButtonYes | kButtonNo), kButtonNo);
  EXPECT_EQ(ClosedDialogAnswer(kButtonOK | kButtonAbort), kButtonAbort);
  EXPECT_EQ(ClosedDialogAnswer(kButtonOK), kButtonOK);
}

// A reinstall starts from the components the earlier installation has; a fresh install from none.
TEST_F(WizardFlowTest, ReinstallPreselectsWhatTheEarlierInstallationHas) {
  settings.RegistryKey = DataString("Preselect\\Test");
  settings.DataSize = settings.SoundSize = settings.MovieSize = 1;
  EXPECT_FALSE(Create().Controls().CheckData);

  const std::filesystem::path folder = test::MakeTempDir("earlier");
  TVondInstallSet earlier = settings;
  earlier.Installed = true;
  earlier.DataInstalled = true;
  earlier.AddInstalledFile(DataString("bgm\\op.ogg"));
  earlier.SaveToFile(folder / "install.dat");
  settings.WriteValue("InstallPath", PathToUtf8(folder) + "/");
  const TWizardFlow flow = Create();
  EXPECT_TRUE(flow.Controls().CheckData);
  EXPECT_TRUE(flow.Controls().CheckSound);
  EXPECT_FALSE(flow.Controls().CheckMovie);
  settings.DeleteRegistryKey();
}

}  // namespace
}  // namespace vn
