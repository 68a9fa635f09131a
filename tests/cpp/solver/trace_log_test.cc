#include "solver/trace_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace vorpalyx {
namespace {

namespace fs = std::filesystem;

std::string contents_of(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The descriptor of this process that is open on `path`, if any.
std::optional<int> descriptor_open_on(const fs::path& path) {
  const fs::path target = fs::absolute(path);
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path link = fs::read_symlink(entry.path(), error);
    if (!error && link == target) {
      return std::stoi(entry.path().filename().string());
    }
  }
  return std::nullopt;
}

// Redirects file descriptor 2 into a pipe until `take` is called. A pipe,
// not a file, so that a file size limit cannot cut the messages short; they
// must fit in the pipe's buffer.
class StandardErrorCapture {
 public:
  StandardErrorCapture() {
    int ends[2];
    if (::pipe(ends) != 0) std::abort();
    read_end_ = ends[0];
    saved_ = ::dup(2);
    ::dup2(ends[1], 2);
    ::close(ends[1]);
  }
  ~StandardErrorCapture() {
    restore();
    ::close(read_end_);
  }

  std::string take() {
    restore();
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(read_end_, buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }

  int read_end_;
  int saved_;
};

// Each test runs in a fresh working directory with the switch unset.
class TraceLogTest : public testing::Test {
 protected:
  void SetUp() override {
    original_directory_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "trace_log_XXXXXX");
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    fs::current_path(directory_);
    if (const char* value = std::getenv(kTraceSwitchVariable)) {
      original_switch_ = value;
    }
    ::unsetenv(kTraceSwitchVariable);
  }

  void TearDown() override {
    if (original_switch_) {
      ::setenv(kTraceSwitchVariable, original_switch_->c_str(), 1);
    } else {
      ::unsetenv(kTraceSwitchVariable);
    }
    fs::current_path(original_directory_);
    fs::remove_all(directory_);
  }

  fs::path directory_;
  fs::path original_directory_;
  std::optional<std::string> original_switch_;
};

const char kLogWriteFull[] =
    "Log write error: No space left on device (os error 28)\n";

TEST_F(TraceLogTest, OffWhenTheSwitchIsUnsetOrNotUtf8) {
  StandardErrorCapture standard_error;
  EXPECT_EQ(TraceLog::open_if_enabled(), nullptr);
  for (const char* value :
       {"\xff", "on\xc3", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"}) {
    ::setenv(kTraceSwitchVariable, value, 1);
    EXPECT_EQ(TraceLog::open_if_enabled(), nullptr) << value;
  }
  EXPECT_FALSE(fs::exists(kTraceFileName));
  EXPECT_EQ(standard_error.take(), "");
}

TEST_F(TraceLogTest, OnForAnyUtf8ValueEvenEmpty) {
  for (const char* value : {"", "0", "no", "false", "\xc3\xa9"}) {
    ::setenv(kTraceSwitchVariable, value, 1);
    EXPECT_NE(TraceLog::open_if_enabled(), nullptr) << value;
    EXPECT_TRUE(fs::exists(kTraceFileName));
    fs::remove(kTraceFileName);
  }
}

TEST_F(TraceLogTest, OpensWriteOnlyCloseOnExecWithUmaskedModeAndCloses) {
  ::setenv(kTraceSwitchVariable, "1", 1);
  const mode_t saved_mask = ::umask(027);
  std::unique_ptr<TraceLog> log = TraceLog::open_if_enabled();
  ::umask(saved_mask);
  ASSERT_NE(log, nullptr);

  const std::optional<int> descriptor = descriptor_open_on(kTraceFileName);
  ASSERT_TRUE(descriptor.has_value());
  EXPECT_EQ(::fcntl(*descriptor, F_GETFL) & O_ACCMODE, O_WRONLY);
  EXPECT_EQ(::fcntl(*descriptor, F_GETFL) & O_APPEND, 0);
  EXPECT_NE(::fcntl(*descriptor, F_GETFD) & FD_CLOEXEC, 0);
  struct stat status;
  ASSERT_EQ(::stat(kTraceFileName, &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);

  log.reset();
  EXPECT_FALSE(descriptor_open_on(kTraceFileName).has_value());
}

TEST_F(TraceLogTest, TruncatesTheTraceOfAnEarlierSolve) {
  std::ofstream(kTraceFileName) << "an earlier and much longer trace\n";
  ::setenv(kTraceSwitchVariable, "1", 1);
  std::unique_ptr<TraceLog> log = TraceLog::open_if_enabled();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(fs::file_size(kTraceFileName), 0u);
  log->line("new\n");
  EXPECT_EQ(contents_of(kTraceFileName), "new\n");
}

TEST_F(TraceLogTest, LinePrintsEachKindOfPiece) {
  ::setenv(kTraceSwitchVariable, "1", 1);
  std::unique_ptr<TraceLog> log = TraceLog::open_if_enabled();
  ASSERT_NE(log, nullptr);
  const std::string word = "tin";
  log->line("literal ", std::string_view("view "), word, " ",
            std::uint64_t{18446744073709551615u}, " ", true, " ", false, " ",
            char32_t{0xE9}, char32_t{U'\''}, " ",
            std::vector<std::string>{"les", "tin"}, " ",
            std::vector<std::string>{}, " ", std::vector<bool>{true, false},
            "\n");
  log->line("", std::string_view(), "second\n");
  EXPECT_EQ(contents_of(kTraceFileName),
            "literal view tin 18446744073709551615 true false \xc3\xa9' "
            "[\"les\", \"tin\"] [] [true, false]\n"
            "second\n");
}

TEST_F(TraceLogTest, FailedWriteDropsTheRestOfTheLineOnly) {
  TraceLog log(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  StandardErrorCapture standard_error;
  log.line("first ", std::uint64_t{1}, " piece\n");
  log.line("second\n");
  log.line(std::vector<std::string>{"a"}, "\n");
  EXPECT_EQ(standard_error.take(),
            std::string(kLogWriteFull) + kLogWriteFull + kLogWriteFull);
}

TEST_F(TraceLogTest, PiecesWrittenBeforeAFailureStayInTheFile) {
  ::setenv(kTraceSwitchVariable, "1", 1);
  std::unique_ptr<TraceLog> log = TraceLog::open_if_enabled();
  ASSERT_NE(log, nullptr);
  struct rlimit saved_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  struct rlimit limit = saved_limit;
  limit.rlim_cur = 5;
  void (*saved_handler)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  StandardErrorCapture standard_error;
  log->line("abc", "def", "ghi\n");
  log->line("next\n");
  const std::string messages = standard_error.take();
  ::setrlimit(RLIMIT_FSIZE, &saved_limit);
  ::signal(SIGXFSZ, saved_handler);

  EXPECT_EQ(contents_of(kTraceFileName), "abcde");
  const std::string too_large =
      "Log write error: File too large (os error 27)\n";
  EXPECT_EQ(messages, too_large + too_large);
}

TEST_F(TraceLogTest, CreationFailureIsReportedAndLeavesTracingOff) {
  ::setenv(kTraceSwitchVariable, "1", 1);
  fs::create_directory(kTraceFileName);
  StandardErrorCapture standard_error;
  EXPECT_EQ(TraceLog::open_if_enabled(), nullptr);
  EXPECT_EQ(standard_error.take(),
            "Failed to create log file anagram_solver_debug.log: Is a "
            "directory (os error 21)\n");
}

}  // namespace
}  // namespace vorpalyx
