// /log, /extract and /install refuse a path with a link in any of its folders, the current
// directory and the user's profile above the package included: the elevated tool must not write
// where a link of another user sends it. Wine shows a Unix symbolic link to a folder as a
// reparse point by its name (docs/WINE.md); the build plants "linked" leading to "target".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_bench.h"
#include "test_support.h"

namespace {

struct Outcome {
  long exit_code;
  std::string out, err;
};

Outcome run_app(const std::string& arguments, const std::string& current_directory = "",
                const std::string& environment_profile = "") {
  wine_test::temp_folder logs("linked-path");
  cmd::LaunchOptions options;
  options.current_directory = current_directory;
  options.profile = environment_profile;
  options.log_path = logs / "err.txt";
  options.stdout_path = logs / "out.txt";
  options.arguments = arguments;
  gui::App app;
  if (!cmd::launch_app(app, options)) return {-1, "", "not started: " + wine_test::last_error()};
  long code = app.wait_exit(120000);
  return {code, wine_test::read_file(options.stdout_path), wine_test::read_file(options.log_path)};
}

}  // namespace

TEST(CommandLineLinks, LogAndExtractThroughALinkedFolderAreRefused) {
  // "sub" is a real folder; "linked" above it is the link.
  const std::string through_link = wine_test::windows_path(LINKED_DIR) + "\\sub";
  const std::string target = wine_test::windows_path(LINK_TARGET_DIR) + "\\sub";
  ASSERT_TRUE(wine_test::is_directory(through_link));

  Outcome logged = run_app("/list /log \"" + through_link + "\\run.log\"");
  EXPECT_EQ(1639, logged.exit_code);  // the log file cannot be opened: nothing is done
  EXPECT_NE(std::string::npos, logged.err.find("cannot be opened: a folder of its path is a link")) << logged.err;
  EXPECT_EQ("", logged.out);
  EXPECT_FALSE(wine_test::exists(target + "\\run.log"));

  Outcome extracted = run_app("/extract \"" + through_link + "\\packages\"");
  EXPECT_EQ(1603, extracted.exit_code);
  EXPECT_NE(std::string::npos, extracted.out.find("Usart driver")) << extracted.out;
  EXPECT_FALSE(wine_test::exists(target + "\\packages"));
  EXPECT_TRUE(wine_test::list_files(target).empty()) << wine_test::list_files(target).size() << " written through the link";
}

// The folders above the package are checked as well: the current directory of /extract without a
// folder, and the profile of /install (the token's; USERPROFILE is the caller's and is not read).
TEST(CommandLineLinks, PackagesBelowALinkedCurrentDirectoryOrProfileAreRefused) {
  const std::string through_link = wine_test::windows_path(LINKED_DIR) + "\\sub";
  const std::string target = wine_test::windows_path(LINK_TARGET_DIR);
  ASSERT_TRUE(wine_test::is_directory(through_link));

  Outcome extracted = run_app("/extract /quiet", through_link);
  EXPECT_EQ(1603, extracted.exit_code) << extracted.err;
  EXPECT_NE(std::string::npos, extracted.err.find("is a link (reparse point)")) << extracted.err;

  cmd::ProfileFolder profile;
  ASSERT_FALSE(profile.move_profiles_to(wine_test::windows_path(LINKED_DIR)).empty());
  Outcome installed = run_app("/install /interfaces usart /quiet", "", through_link);
  EXPECT_EQ(1603, installed.exit_code) << installed.err;
  EXPECT_NE(std::string::npos, installed.err.find("is a link (reparse point)")) << installed.err;
  EXPECT_EQ(std::vector<std::string>{}, wine_test::list_files(target)) << "written through the link";
}
