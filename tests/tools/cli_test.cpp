// The command tree of vnkit as main builds it: every argument is described, and on every system an
// argument beginning with '/' (a superseded entry, an absolute path) is never taken for an option.
#include <gtest/gtest.h>

#include "tools/vnkit/cli.h"

namespace vn::cli {
namespace {

void ExpectDescribed(CLI::App& app, const std::string& path) {
  EXPECT_FALSE(app.get_allow_windows_style_options()) << path;
  for (const CLI::Option* option : app.get_options()) {
    EXPECT_FALSE(option->get_description().empty()) << path << " " << option->get_name();
  }
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    EXPECT_FALSE(sub->get_description().empty()) << path << " " << sub->get_name();
    ExpectDescribed(*sub, path + " " + sub->get_name());
  }
}

TEST(VnkitCli, EveryArgumentIsDescribedAndSlashesAreNoOptions) {
  CLI::App app{"vnkit", "vnkit"};
  app.allow_windows_style_options();  // CLI11's default on Windows
  AddAllCommands(app);
  ConfigureApp(app);
  ASSERT_GE(app.get_subcommands([](CLI::App*) { return true; }).size(), 10u);
  ExpectDescribed(app, "vnkit");
}

}  // namespace
}  // namespace vn::cli
